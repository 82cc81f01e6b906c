#pragma once
// A small pool of open sessions kept between operations, so that an operation
// does not pay for a connection.

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/session.h"

class SessionPool;

// Hands a session back to its pool when the pointer goes; without a pool the
// session is closed and deleted.
struct ReturnToPool {
    SessionPool* pool = nullptr;
    void operator()(CDatabase* session) const;
};

// An operation's session: back to the pool (or closed) when it goes.
using PooledSession = std::unique_ptr<CDatabase, ReturnToPool>;

// Idle sessions per connect string and open options. A session is taken
// again only when its driver does not already know it lost the connection
// and it has been idle for less than the idle limit; a reused session
// replaces a connection lost meanwhile once, at its first statement (see
// CDatabase::RecoverLostConnection). The pool's sessions are its own; a
// session opened elsewhere joins them only by being handed over (Adopt).
class SessionPool {
public:
    explicit SessionPool(SessionFactory factory, std::chrono::steady_clock::duration idleLimit = std::chrono::minutes(5),
                         std::size_t maxIdle = 2);
    ~SessionPool();  // closes every idle session
    SessionPool(const SessionPool&) = delete;
    SessionPool& operator=(const SessionPool&) = delete;

    // An open session: a kept one when it is fit, else a new one from the
    // factory. nullptr when the driver's completion was cancelled; a failed
    // connection throws CDBException.
    PooledSession Acquire(const std::string& connectString, unsigned options);
    // Takes a session back, closing the record sets still open on it. One
    // left in a transaction is rolled back first; a closed one is dropped.
    void Release(CDatabase* session);
    // Takes an open session opened elsewhere with this connect string and
    // these options as an idle one, as Release takes a lent one back: a
    // start-up hands over the connection it opened, so that the first
    // operation does not connect again.
    void Adopt(std::unique_ptr<CDatabase> session, const std::string& connectString, unsigned options);
    // Closes every idle session.
    void Clear();
    std::size_t IdleCount() const;

private:
    struct Idle {
        std::unique_ptr<CDatabase> session;
        std::string connectString;
        unsigned options;
        std::chrono::steady_clock::time_point since;
    };
    struct Lent {
        CDatabase* session;
        std::string connectString;
        unsigned options;
    };

    SessionFactory factory_;
    std::chrono::steady_clock::duration idleLimit_;
    std::size_t maxIdle_;
    mutable std::mutex lock_;
    std::vector<Idle> idle_;
    std::vector<Lent> lent_;
};
