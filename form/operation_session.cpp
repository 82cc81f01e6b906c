#include "form/operation_session.h"

#include "resources/string_table.h"

PooledSession OpenOperationSession(const FormEnvironment& env) {
    const std::string connect = env.connectString ? env.connectString() : std::string();
    if (env.pool != nullptr) return env.pool->Acquire(connect, OpenOptions::UseCursorLibrary);
    PooledSession session(env.openSession ? env.openSession().release() : DefaultSessionFactory()().release());
    if (!session->Open(connect, OpenOptions::UseCursorLibrary)) return nullptr;
    return session;
}

std::optional<std::string> CommitFailure(CDatabase& session) {
    if (session.CommitTransaction()) return std::nullopt;
    std::string text = session.LastTransactionError();
    session.RollbackTransaction();
    if (text.empty()) text = LoadString(str::DatabaseError);
    return text;
}
