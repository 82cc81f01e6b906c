#pragma once
// Reading the request counter a delay proxy keeps in a mapped file.

#include <cstdint>
#include <string>

// The counter of one proxy: requests (chunks towards the server) since it
// started. Maps the file read-only; Read answers -1 when it could not.
class RequestCounter {
public:
    explicit RequestCounter(const std::string& path);
    ~RequestCounter();
    RequestCounter(const RequestCounter&) = delete;
    RequestCounter& operator=(const RequestCounter&) = delete;

    long long Read() const;

private:
    const std::uint64_t* counter_ = nullptr;
};
