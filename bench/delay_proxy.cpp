// A TCP proxy on loopback that delays every chunk by a fixed time in each
// direction, to put a network's round trip between the benchmarks and their
// database server. One thread, poll(); every accepted connection gets its own
// connection to the target. Bounded: at most kMaxConnections pairs, at most
// kMaxQueuedBytes waiting per direction (reading pauses until it drains), and
// the process ends by itself after its lifetime or when its parent goes.
//
//   se-delay-proxy TARGET_PORT DELAY_MS LIFETIME_S PORT_FILE [COUNTER_FILE]
//
// Listens on an ephemeral port of 127.0.0.1 and writes it to PORT_FILE once
// it accepts connections. With COUNTER_FILE it also counts requests in a
// 64-bit counter that the file holds and that other processes read by mapping
// the file (RequestCounter). A request is what a client sends between two
// answers of its server: the first chunk read from the client after the
// server last sent something counts, chunks read before the server answers
// belong to the same request. So a client's pipelined writes (MariaDB's
// driver writes a statement's close, which waits for no answer, just before
// the next statement) count as the one round trip they cost, however the
// kernel happens to split them into chunks.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kMaxQueuedBytes = 8u << 20;
constexpr std::size_t kChunkBytes = 64u << 10;

// A socket descriptor closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Bytes read from one side, due to be written to the other at `due`.
struct Chunk {
    Clock::time_point due;
    std::string bytes;
    std::size_t written = 0;
};

// One direction of a connection pair.
struct Direction {
    std::deque<Chunk> queue;
    std::size_t queued = 0;
    bool readerClosed = false;  // end of stream seen: shut the writer down once drained
};

// A client connection and its connection to the target.
struct Pair {
    Pair(int clientFd, int serverFd) : client(clientFd), server(serverFd) {}
    Fd client, server;
    Direction up, down;  // up: client to server
    bool answered = true;  // the server sent something since the last request
    bool dead = false;
};

int ConnectTarget(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void Prepare(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// The request counter shared through a mapped file; null when not asked for.
std::uint64_t* gRequests = nullptr;

// Maps the counter file (created as 8 zero bytes); false on failure.
bool MapCounter(const char* path) {
    Fd fd(::open(path, O_RDWR | O_CREAT | O_TRUNC, 0644));
    if (fd.get() < 0 || ::ftruncate(fd.get(), sizeof(std::uint64_t)) != 0) return false;
    void* map = ::mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (map == MAP_FAILED) return false;
    gRequests = static_cast<std::uint64_t*>(map);
    return true;
}

// Reads what is there into the direction's queue; false on a hard error.
// `answered`: set when a chunk is read from the server, taken (and a request
// counted) when one is read from the client; null for the server side.
bool ReadInto(int fd, Direction& d, Clock::duration delay, bool* answered) {
    std::string buffer(kChunkBytes, '\0');
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n == 0) {
        d.readerClosed = true;
        return true;
    }
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    buffer.resize(static_cast<std::size_t>(n));
    if (answered != nullptr && std::exchange(*answered, false) && gRequests != nullptr)
        std::atomic_ref<std::uint64_t>(*gRequests).fetch_add(1);
    d.queued += buffer.size();
    d.queue.push_back(Chunk{Clock::now() + delay, std::move(buffer)});
    return true;
}

// Writes every due chunk it can; false on a hard error.
bool WriteDue(int fd, Direction& d) {
    const auto now = Clock::now();
    while (!d.queue.empty() && d.queue.front().due <= now) {
        Chunk& c = d.queue.front();
        const ssize_t n = ::write(fd, c.bytes.data() + c.written, c.bytes.size() - c.written);
        if (n < 0) return errno == EAGAIN || errno == EINTR;
        c.written += static_cast<std::size_t>(n);
        if (c.written < c.bytes.size()) return true;
        d.queued -= c.bytes.size();
        d.queue.pop_front();
    }
    if (d.readerClosed && d.queue.empty()) ::shutdown(fd, SHUT_WR);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: %s TARGET_PORT DELAY_MS LIFETIME_S PORT_FILE [COUNTER_FILE]\n", argv[0]);
        return 2;
    }
    if (argc == 6 && !MapCounter(argv[5])) {
        std::perror("se-delay-proxy: counter file");
        return 1;
    }
    const int target = std::atoi(argv[1]);
    const auto delay = std::chrono::milliseconds(std::atoi(argv[2]));
    const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[3]));
    // The proxy never outlives the script that started it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    std::signal(SIGPIPE, SIG_IGN);

    Fd listener(::socket(AF_INET, SOCK_STREAM, 0));
    int one = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 16) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
        std::perror("se-delay-proxy: listen");
        return 1;
    }
    {
        const std::string tmp = std::string(argv[4]) + ".tmp";
        std::ofstream(tmp) << ntohs(addr.sin_port) << "\n";
        std::rename(tmp.c_str(), argv[4]);
    }

    std::vector<std::unique_ptr<Pair>> pairs;
    while (Clock::now() < end) {
        std::vector<pollfd> fds{{listener.get(), pairs.size() < kMaxConnections ? short(POLLIN) : short(0), 0}};
        auto next = end;
        for (const auto& p : pairs) {
            for (auto [fd, in, out] : {std::tuple{p->client.get(), &p->up, &p->down},
                                       std::tuple{p->server.get(), &p->down, &p->up}}) {
                short events = 0;
                if (!in->readerClosed && in->queued < kMaxQueuedBytes) events |= POLLIN;
                if (!out->queue.empty()) {
                    if (out->queue.front().due <= Clock::now()) events |= POLLOUT;
                    else next = std::min(next, out->queue.front().due);
                }
                fds.push_back({fd, events, 0});
            }
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
        if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, wait))) < 0 && errno != EINTR)
            return 1;

        if (fds[0].revents & POLLIN) {
            const int client = ::accept(listener.get(), nullptr, nullptr);
            const int server = client >= 0 ? ConnectTarget(target) : -1;
            if (server >= 0) {
                Prepare(client);
                Prepare(server);
                pairs.push_back(std::make_unique<Pair>(client, server));
            } else if (client >= 0) {
                ::close(client);  // the target refused: the client sees the connection end
            }
        }
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            Pair& p = *pairs[i];
            const pollfd& c = fds[1 + 2 * i];
            const pollfd& s = fds[2 + 2 * i];
            bool ok = true;
            // The client first: what it wrote before the server's answer
            // reached this proxy cannot be a reply to that answer.
            if (c.revents & (POLLIN | POLLHUP | POLLERR)) ok = ok && ReadInto(p.client.get(), p.up, delay, &p.answered);
            if (s.revents & (POLLIN | POLLHUP | POLLERR)) {
                ok = ok && ReadInto(p.server.get(), p.down, delay, nullptr);
                p.answered = true;
            }
            ok = ok && WriteDue(p.server.get(), p.up) && WriteDue(p.client.get(), p.down);
            const bool finished = p.up.readerClosed && p.down.readerClosed && p.up.queue.empty() &&
                                  p.down.queue.empty();
            p.dead = !ok || finished;
        }
        std::erase_if(pairs, [](const auto& p) { return p->dead; });
    }
    return 0;
}
