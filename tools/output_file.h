#pragma once
// Where a program's document goes. A regular file (or a name not yet taken)
// is written aside in its folder and renamed over the name only when the whole
// document is on disk, so a failed run leaves the previous file as it was. A
// name that is something else (a character device such as /dev/null, a FIFO,
// /dev/stdout) is written directly: renaming over it would replace the device
// node by a regular file. Every write is checked to its end.

#include <string>

class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();  // removes the aside file when the document was not committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Each answers false on failure, with the system's reason in Error().
    bool Open();
    bool Write(const char* data, size_t size);
    // Writes out, closes and, for a regular file, renames the aside file over
    // the name.
    bool Commit();

    // Why the last step failed: the system's reason.
    const std::string& Error() const { return error_; }

private:
    bool Fail(int error);  // keeps the system's reason for `error`, answers false
    bool OpenAside();

    std::string path_;    // the name given, symbolic links followed for a regular file
    std::string aside_;   // the file written aside; empty when written directly
    int fd_ = -1;
    std::string error_;
};
