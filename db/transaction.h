#pragma once
// One transaction of a session, ended on every way out of its scope.

class CDatabase;
class CDBException;

// A lock a transaction takes before it reads anything and lets go once it
// has ended, such as the one every writer of the station catalogue takes.
class TransactionLock {
public:
    // Before the transaction begins; throws CDBException when it cannot be taken.
    virtual void BeforeBegin(CDatabase& session) const = 0;
    // Right after it began; throws CDBException when it cannot be taken.
    virtual void AfterBegin(CDatabase& session) const = 0;
    // After it ended; false when the release failed.
    virtual bool AfterEnd(CDatabase& session) const noexcept = 0;

protected:
    ~TransactionLock() = default;
};

// Begins a transaction at construction and rolls it back at destruction
// unless it was committed, so that an exception or an early return never
// leaves auto-commit off or a write pending. With a lock, the lock is taken
// on every Begin and let go when the transaction ends.
class Transaction {
public:
    explicit Transaction(CDatabase& session, const TransactionLock* lock = nullptr);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // False where the data source has no transactions or refused to begin one.
    bool Begun() const { return open_; }
    // Begins again after Commit or Rollback; answers Begun(). Throws
    // CDBException when the writer lock cannot be taken (nothing is then open).
    bool Begin();
    // Commits. A failed commit rolls back what the driver may have left
    // pending and throws CDBException with the driver's text (empty when it
    // gave none: the caller words it).
    void Commit();
    // Rolls back now; nothing when no transaction is open.
    void Rollback();

private:
    // Lets go of the writer lock once the transaction has ended.
    void Ended();

    CDatabase& session_;
    const TransactionLock* lock_;
    bool open_ = false;
};

// Whether a failure is the server's answer to one of two transactions that
// got in each other's way, a deadlock (PostgreSQL 40P01, MariaDB native 1213)
// or a serialization failure (40001): begun again, it may go through.
bool IsTransactionConflict(const CDBException& e);

// How many times in all a writing transaction is tried while it ends in a
// transaction conflict.
inline constexpr int kTransactionAttempts = 3;
