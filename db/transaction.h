#pragma once
// One transaction of a session, ended on every way out of its scope.

class CDatabase;

// Begins a transaction at construction and rolls it back at destruction
// unless it was committed, so that an exception or an early return never
// leaves auto-commit off or a write pending.
class Transaction {
public:
    explicit Transaction(CDatabase& session);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // False where the data source has no transactions or refused to begin one.
    bool Begun() const { return open_; }
    // Begins again after Commit or Rollback; answers Begun().
    bool Begin();
    // Commits. A failed commit rolls back what the driver may have left
    // pending and throws CDBException with the driver's text (string 832 when
    // it gave none).
    void Commit();
    // Rolls back now; nothing when no transaction is open.
    void Rollback();

private:
    CDatabase& session_;
    bool open_ = false;
};
