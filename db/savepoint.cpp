#include "db/savepoint.h"

#include "db/session.h"

std::string Savepoint::SetText() const { return "savepoint " + name_; }
std::string Savepoint::ReleaseText() const { return "release savepoint " + name_; }

Savepoint::Savepoint(CDatabase& session, std::string name) : session_(session), name_(std::move(name)) {
    session_.ExecuteDirect(SetText());
}

void Savepoint::Release() { session_.ExecuteDirect(ReleaseText()); }

void Savepoint::Renew(bool oneText) {
    if (oneText) {
        session_.ExecuteDirect(ReleaseText() + ";" + SetText());
        return;
    }
    session_.ExecuteDirect(ReleaseText());
    session_.ExecuteDirect(SetText());
}

void Savepoint::RollBack() {
    session_.ExecuteDirect("rollback to savepoint " + name_);
    // The savepoint stays after a rollback to it: let it go too, so that the
    // next one of the same name does not nest inside it.
    session_.ExecuteDirect(ReleaseText());
}
