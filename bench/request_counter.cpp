#include "bench/request_counter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

RequestCounter::RequestCounter(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    void* map = ::mmap(nullptr, sizeof(std::uint64_t), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map != MAP_FAILED) counter_ = static_cast<const std::uint64_t*>(map);
}

RequestCounter::~RequestCounter() {
    if (counter_ != nullptr) ::munmap(const_cast<std::uint64_t*>(counter_), sizeof(std::uint64_t));
}

long long RequestCounter::Read() const {
    if (counter_ == nullptr) return -1;
    return static_cast<long long>(std::atomic_ref<std::uint64_t>(*const_cast<std::uint64_t*>(counter_)).load());
}
