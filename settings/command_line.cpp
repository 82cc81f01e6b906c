#include "settings/command_line.h"

#include <string_view>
#include <utility>

#include "text/text.h"

bool ParseStationCode(const std::string& commandLine, std::string& code) {
    size_t start = commandLine.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    size_t end = commandLine.find(' ', start);
    std::string token = commandLine.substr(start, end == std::string::npos ? std::string::npos : end - start);
    code = text::ToUpper(text::Left(token, kStationCodeCapacity));
    return true;
}

CommandLineValues ParseCommandLine(const std::string& commandLine) {
    const std::string work = text::Left(commandLine, kCommandLineCapacity);
    auto valueOf = [&work](const std::string& key) -> std::string {
        size_t at = work.find(key);
        if (at == std::string::npos) return {};
        size_t begin = at + key.size();
        size_t end = work.find(' ', begin);
        return work.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    };
    CommandLineValues values;
    values.DataSource = valueOf("ODBC=");
    values.User = valueOf("USER=");
    values.Password = valueOf("PASSWORD=");
    return values;
}

std::string JoinArguments(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

ProgramArguments SplitProgramArguments(int argc, char** argv) {
    ProgramArguments out;
    const std::pair<std::string_view, std::string*> keys[] = {{"ODBC=", &out.connection.DataSource},
                                                              {"USER=", &out.connection.User},
                                                              {"PASSWORD=", &out.connection.Password}};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool connection = false;
        for (const auto& [key, value] : keys) {
            if (arg.substr(0, key.size()) != key) continue;
            *value = std::string(arg.substr(key.size()));
            connection = true;
        }
        if (!connection) out.others.emplace_back(arg);
    }
    return out;
}
