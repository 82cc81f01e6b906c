#include "form/operation_session.h"

#include "resources/string_table.h"

std::unique_ptr<CDatabase> OpenOperationSession(const FormEnvironment& env) {
    std::unique_ptr<CDatabase> session = env.openSession ? env.openSession() : DefaultSessionFactory()();
    const std::string connect = env.connectString ? env.connectString() : std::string();
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
