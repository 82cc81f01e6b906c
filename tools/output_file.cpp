#include "tools/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// How many symbolic links are followed before the name is given up on, as
// the kernel does (ELOOP).
constexpr int kMaxLinks = 40;

// The file a name finally denotes when that is a regular file or nothing yet
// (then it is written aside and renamed); empty when the name is to be
// written directly: a device, a FIFO, a socket, or a link into /proc such as
// /dev/stdout, whose target is whatever the descriptor is open on.
std::string RenameTarget(const std::string& path, int& error) {
    namespace fs = std::filesystem;
    fs::path name = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st {};
        if (lstat(name.c_str(), &st) != 0) {
            if (errno == ENOENT) return name.string();  // a new file
            error = errno;
            return {};
        }
        if (S_ISREG(st.st_mode)) return name.string();
        if (!S_ISLNK(st.st_mode)) return {};
        std::error_code ec;
        const fs::path target = fs::read_symlink(name, ec);
        if (ec) {
            error = ec.value();
            return {};
        }
        if (target.is_absolute() && target.string().rfind("/proc/", 0) == 0) return {};
        name = target.is_absolute() ? target : name.parent_path() / target;
    }
    error = ELOOP;
    return {};
}

// The permissions a new file gets from the process's umask.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {}

OutputFile::~OutputFile() {
    if (fd_ >= 0) close(fd_);
    if (!aside_.empty()) unlink(aside_.c_str());
}

bool OutputFile::Fail(int error) {
    error_ = std::strerror(error);
    return false;
}

bool OutputFile::Open() {
    int error = 0;
    const std::string target = RenameTarget(path_, error);
    if (error != 0) return Fail(error);
    if (!target.empty()) {
        path_ = target;
        return OpenAside();
    }
    fd_ = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    return fd_ >= 0 || Fail(errno);
}

bool OutputFile::OpenAside() {
    std::vector<char> name(path_.begin(), path_.end());
    for (char c : std::string(".XXXXXX")) name.push_back(c);
    name.push_back('\0');
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) return Fail(errno);
    aside_ = name.data();
    // The replacement keeps the permissions of the file it replaces; a new
    // file gets those the umask gives (mkstemp makes it private).
    struct stat st {};
    const mode_t mode = stat(path_.c_str(), &st) == 0 ? static_cast<mode_t>(st.st_mode & 07777) : NewFileMode();
    return fchmod(fd_, mode) == 0 || Fail(errno);
}

bool OutputFile::Write(const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd_, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return Fail(errno);
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool OutputFile::Commit() {
    // A file renamed into place must be on disk first, or a crash can leave
    // an empty file under the name; a device has nothing to sync.
    if (!aside_.empty() && fsync(fd_) != 0) return Fail(errno);
    const int fd = std::exchange(fd_, -1);
    if (close(fd) != 0) return Fail(errno);
    if (aside_.empty()) return true;
    if (rename(aside_.c_str(), path_.c_str()) != 0) return Fail(errno);
    aside_.clear();
    return true;
}
