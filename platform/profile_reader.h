#pragma once
// Reads values from an INI-style configuration file.

#include <string>

// The configuration file reader. Sections and keys are matched regardless of
// case; a missing file, section or key gives the default; a longer value is
// cut to capacity - 1 characters. The file is read afresh on every Get.
class ProfileReader {
public:
    ProfileReader() = default;  // no file: every read gives its default
    explicit ProfileReader(std::string path) : path_(std::move(path)) {}

    std::string Get(const std::string& section, const std::string& key, const std::string& defaultValue,
                    size_t capacity) const;
    const std::string& Path() const { return path_; }
    // Why the file cannot be read (the system's reason: a folder, no
    // permission, ...); empty when it can, or when there is no file to read.
    std::string ReadProblem() const;

private:
    std::string path_;
};

// The folder of the response files: "DIR" of section "ZRN" (default "/") with
// one separator, then "RESPONSE". A value ending in '/' or '\' already has its
// separator. Without a reader the default applies.
std::string ResponseFolder(const ProfileReader* profile);
