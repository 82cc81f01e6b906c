#include "db/savepoint.h"

#include "db/session.h"

Savepoint::Savepoint(CDatabase& session, std::string name) : session_(session), name_(std::move(name)) {
    session_.ExecuteDirect("savepoint " + name_);
}

void Savepoint::Release() { session_.ExecuteDirect("release savepoint " + name_); }

void Savepoint::RollBack() {
    session_.ExecuteDirect("rollback to savepoint " + name_);
    // The savepoint stays after a rollback to it: let it go too, so that the
    // next one of the same name does not nest inside it.
    session_.ExecuteDirect("release savepoint " + name_);
}
