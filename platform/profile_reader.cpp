#include "platform/profile_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// Cuts to at most `characters` UTF-8 characters, never inside a character.
std::string CutCharacters(const std::string& s, size_t characters) {
    size_t count = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (count == characters) return s.substr(0, i);
            ++count;
        }
    }
    return s;
}

// A value in matching double or single quotes loses them, as the platform's
// profile reader does.
std::string Unquote(const std::string& s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

}  // namespace

std::string ProfileReader::Get(const std::string& section, const std::string& key, const std::string& defaultValue,
                               size_t capacity) const {
    std::string value = defaultValue;
    if (!path_.empty()) {
        std::ifstream in(path_);
        std::string line;
        bool inSection = false;
        // A file saved with a UTF-8 byte-order mark (as Windows editors do)
        // is read without it.
        static constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
        bool first = true;
        while (std::getline(in, line)) {
            if (first && line.rfind(kByteOrderMark, 0) == 0) line.erase(0, 3);
            first = false;
            std::string t = Trim(line);
            if (t.empty() || t[0] == ';' || t[0] == '#') continue;
            if (t.front() == '[') {
                size_t close = t.find(']');
                inSection = close != std::string::npos && EqualNoCase(Trim(t.substr(1, close - 1)), section);
                continue;
            }
            if (!inSection) continue;
            size_t eq = t.find('=');
            if (eq == std::string::npos) continue;
            if (EqualNoCase(Trim(t.substr(0, eq)), key)) {
                value = Unquote(Trim(t.substr(eq + 1)));
                break;
            }
        }
    }
    if (capacity == 0) return {};
    return CutCharacters(value, capacity - 1);
}

std::string ProfileReader::ReadProblem() const {
    if (path_.empty()) return {};
    const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? std::string() : std::strerror(errno);
    // A folder opens for reading but gives no text.
    char byte = 0;
    const int error = read(fd, &byte, 1) < 0 ? errno : 0;
    close(fd);
    return error ? std::strerror(error) : std::string();
}

std::string ResponseFolder(const ProfileReader* profile) {
    // Capacity of the folder read, terminator included.
    constexpr size_t kFolderCapacity = 4096;
    std::string folder = profile ? profile->Get("ZRN", "DIR", "/", kFolderCapacity) : std::string("/");
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
    return folder + "RESPONSE";
}
