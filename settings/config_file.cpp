#include "settings/config_file.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "text/text.h"

namespace fs = std::filesystem;

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string candidate = it->path().filename().string();
        if (text::CompareNoCase(candidate, name) == 0 && it->is_regular_file(ec)) return it->path().string();
    }
    return {};
}

std::string FindConfigFile() {
    if (const char* explicitPath = std::getenv("ZRN_INI")) return explicitPath;
    std::string folders[3] = {".", {}, "/etc"};
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        folders[1] = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        folders[1] = std::string(home) + "/.config";
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        std::string found = FindFileNoCase(folder, "zrn.ini");
        if (!found.empty()) return found;
    }
    return {};
}
