#include "form/operation_session.h"

std::unique_ptr<CDatabase> OpenOperationSession(const FormEnvironment& env) {
    std::unique_ptr<CDatabase> session = env.openSession ? env.openSession() : DefaultSessionFactory()();
    const std::string connect = env.connectString ? env.connectString() : std::string();
    if (!session->Open(connect, OpenOptions::UseCursorLibrary)) return nullptr;
    return session;
}
