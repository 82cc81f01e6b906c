#include "settings/driver_packages.h"

#include <odbcinst.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "db/db_exception.h"
#include "resources/string_table.h"

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The value of `key` in a connect string (keys regardless of case; a braced
// value loses its braces and its doubled "}}"); empty when absent.
std::string ConnectStringKey(const std::string& connect, const std::string& key) {
    size_t at = 0;
    while (at < connect.size()) {
        const size_t eq = connect.find('=', at);
        if (eq == std::string::npos) break;
        const std::string name = Lower(connect.substr(at, eq - at));
        std::string value;
        size_t end = eq + 1;
        if (end < connect.size() && connect[end] == '{') {
            for (++end; end < connect.size(); ++end) {
                if (connect[end] == '}') {
                    if (end + 1 < connect.size() && connect[end + 1] == '}') {
                        value.push_back('}');
                        ++end;
                        continue;
                    }
                    ++end;
                    break;
                }
                value.push_back(connect[end]);
            }
            end = std::min(connect.find(';', end), connect.size());
        } else {
            end = std::min(connect.find(';', end), connect.size());
            value = connect.substr(eq + 1, end - eq - 1);
        }
        if (name == Lower(key)) return value;
        at = end + 1;
    }
    return {};
}

// A value of the driver manager's configuration: `file` is "odbc.ini" (the
// user's data sources, then the system's) or "odbcinst.ini" (the drivers).
std::string ConfigValue(const std::string& section, const std::string& key, const char* file) {
    char value[1024] = {};
    const int length = SQLGetPrivateProfileString(section.c_str(), key.c_str(), "", value, sizeof value, file);
    return length > 0 ? std::string(value) : std::string();
}

// Whether the driver manager can find the driver's library: a registered
// name whose library file exists, or a library path that exists. A bare
// library name ("libsqlite3odbc.so") is left to the loader and counts.
bool DriverInstalled(const std::string& driver) {
    std::string library = driver;
    if (driver.find('/') == std::string::npos) {
        library = ConfigValue(driver, "Driver", "odbcinst.ini");
        if (library.empty()) return false;
    }
    std::error_code ec;
    return library.find('/') == std::string::npos || std::filesystem::exists(library, ec);
}

}  // namespace

std::string DriverPackage(const std::string& driver) {
    // Driver names as the packages register them, and their library files.
    static const struct {
        const char* part;
        const char* package;
    } kPackages[] = {
        {"sqlite", "libsqliteodbc"}, {"postgres", "odbc-postgresql"}, {"psqlodbc", "odbc-postgresql"},
        {"mariadb", "odbc-mariadb"}, {"maodbc", "odbc-mariadb"},      {"mysql", "odbc-mariadb"},
    };
    const std::string name = Lower(driver);
    for (const auto& entry : kPackages)
        if (name.find(entry.part) != std::string::npos) return entry.package;
    return {};
}

std::string MissingDriverHint(const std::string& connectString, const CDBException& e) {
    // unixODBC says "Can't open lib '<driver or library>' : file not found"
    // (01000) for a driver it cannot load, and IM002 ("Data source name not
    // found") for a data source whose driver is not registered.
    std::string driver;
    static const std::string kCannotOpen = "Can't open lib '";
    if (const size_t at = e.ErrorText.find(kCannotOpen); at != std::string::npos) {
        const size_t begin = at + kCannotOpen.size();
        const size_t end = e.ErrorText.find('\'', begin);
        if (end != std::string::npos) driver = e.ErrorText.substr(begin, end - begin);
    } else if (e.HasState("IM002") || e.HasState("IM003") || e.HasState("01000")) {
        driver = ConnectStringKey(connectString, "DRIVER");
        if (driver.empty()) {
            const std::string dataSource = ConnectStringKey(connectString, "DSN");
            if (!dataSource.empty()) driver = ConfigValue(dataSource, "Driver", "odbc.ini");
        }
        if (driver.empty() || DriverInstalled(driver)) return {};
    }
    const std::string package = DriverPackage(driver);
    return package.empty() ? std::string() : FormatString(str::DriverPackageMissing, driver, package);
}
