#pragma once
// A named point inside an open transaction that part of it can be undone to.

#include <string>

class CDatabase;

// Sets a savepoint at construction; Release keeps what was done since, and
// RollBack undoes it while the transaction goes on. A savepoint neither
// released nor rolled back is left to the transaction's end.
class Savepoint {
public:
    // Throws CDBException when the driver refuses the savepoint.
    Savepoint(CDatabase& session, std::string name);
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;

    // Keeps the work since the savepoint in the transaction; throws CDBException.
    void Release();
    // Releases the savepoint and sets it again for the work that follows;
    // with `oneText`, for a driver that sends several statements in one
    // text, both go in one request. Throws CDBException.
    void Renew(bool oneText);
    // Undoes the work since the savepoint and ends it; throws CDBException
    // when the driver refuses (the transaction as a whole can then only be
    // rolled back).
    void RollBack();

private:
    std::string SetText() const;
    std::string ReleaseText() const;

    CDatabase& session_;
    std::string name_;
};
