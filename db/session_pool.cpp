#include "db/session_pool.h"

#include <algorithm>
#include <utility>

void ReturnToPool::operator()(CDatabase* session) const {
    if (pool != nullptr)
        pool->Release(session);
    else
        delete session;
}

SessionPool::SessionPool(SessionFactory factory, std::chrono::steady_clock::duration idleLimit, std::size_t maxIdle)
    : factory_(std::move(factory)), idleLimit_(idleLimit), maxIdle_(maxIdle) {}

SessionPool::~SessionPool() { Clear(); }

PooledSession SessionPool::Acquire(const std::string& connectString, unsigned options) {
    std::unique_ptr<CDatabase> session;
    std::vector<std::unique_ptr<CDatabase>> expired;
    {
        std::lock_guard guard(lock_);
        const auto now = std::chrono::steady_clock::now();
        for (auto it = idle_.begin(); it != idle_.end();) {
            if (now - it->since >= idleLimit_ || !it->session->SeemsAlive()) {
                expired.push_back(std::move(it->session));
                it = idle_.erase(it);
            } else if (!session && it->connectString == connectString && it->options == options) {
                session = std::move(it->session);
                it = idle_.erase(it);
            } else {
                ++it;
            }
        }
    }
    expired.clear();  // disconnects outside the lock
    if (session) {
        session->ArmReconnect();
    } else {
        session = factory_ ? factory_() : DefaultSessionFactory()();
        if (!session->Open(connectString, options)) return PooledSession(nullptr, ReturnToPool{this});
    }
    std::lock_guard guard(lock_);
    lent_.push_back({session.get(), connectString, options});
    return PooledSession(session.release(), ReturnToPool{this});
}

void SessionPool::Release(CDatabase* raw) {
    std::unique_ptr<CDatabase> session(raw);
    Lent lent{};
    {
        std::lock_guard guard(lock_);
        auto it = std::find_if(lent_.begin(), lent_.end(), [&](const Lent& l) { return l.session == raw; });
        if (it == lent_.end()) return;  // not ours: deleted
        lent = std::move(*it);
        lent_.erase(it);
    }
    // An operation that left its transaction open (an error path) must not
    // hand it to the next one.
    if (session->IsOpen() && session->InTransaction() && !session->RollbackTransaction()) session->Close();
    session->DetachUsers();
    if (!session->IsOpen() || !session->SeemsAlive()) return;
    session->DisarmReconnect();
    std::unique_ptr<CDatabase> surplus;
    std::lock_guard guard(lock_);
    idle_.push_back({std::move(session), std::move(lent.connectString), lent.options, std::chrono::steady_clock::now()});
    if (idle_.size() > maxIdle_) {
        surplus = std::move(idle_.front().session);
        idle_.erase(idle_.begin());
    }
}

void SessionPool::Adopt(std::unique_ptr<CDatabase> session, const std::string& connectString, unsigned options) {
    if (!session) return;
    {
        std::lock_guard guard(lock_);
        lent_.push_back({session.get(), connectString, options});
    }
    Release(session.release());
}

void SessionPool::Clear() {
    std::vector<Idle> idle;
    {
        std::lock_guard guard(lock_);
        idle.swap(idle_);
    }
}

std::size_t SessionPool::IdleCount() const {
    std::lock_guard guard(lock_);
    return idle_.size();
}
