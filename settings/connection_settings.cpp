#include "settings/connection_settings.h"

#include "platform/profile_reader.h"
#include "text/text.h"

namespace {

// One connection value: key in section DATABASE, its default, and the
// capacity of its field (the terminator included).
struct SettingSource {
    const char* key;
    const char* defaultValue;
    size_t capacity;
};

constexpr SettingSource kDataSource{"ODBC", "ZRN", 32};
constexpr SettingSource kUser{"USER", "ZRN", 64};
constexpr SettingSource kPassword{"PASSWORD", "PJQ", 64};

std::string Resolve(const std::string& fromCommandLine, const SettingSource& source, const ProfileReader& profile) {
    if (!fromCommandLine.empty()) return text::Left(fromCommandLine, source.capacity - 1);
    return profile.Get("DATABASE", source.key, source.defaultValue, source.capacity);
}

}  // namespace

ConnectionSettings ResolveConnectionSettings(const CommandLineValues& commandLine, const ProfileReader& profile) {
    ConnectionSettings settings;
    settings.DataSource = Resolve(commandLine.DataSource, kDataSource, profile);
    settings.User = Resolve(commandLine.User, kUser, profile);
    settings.Password = Resolve(commandLine.Password, kPassword, profile);
    return settings;
}

std::string ConnectStringValue(const std::string& value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const bool plain = value.find_first_of(";{}") == std::string::npos &&
                       (value.empty() || (!blank(value.front()) && !blank(value.back())));
    if (plain) return value;
    std::string braced = "{";
    for (char c : value) {
        if (c == '}') braced.push_back('}');
        braced.push_back(c);
    }
    return braced + "}";
}

std::string BuildConnectString(const ConnectionSettings& settings) {
    return "DSN=" + ConnectStringValue(settings.DataSource) + ";UID=" + ConnectStringValue(settings.User) +
           ";PWD=" + ConnectStringValue(settings.Password) + ";";
}
