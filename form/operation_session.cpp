#include "form/operation_session.h"

PooledSession OpenOperationSession(const FormEnvironment& env) {
    const std::string connect = env.connectString ? env.connectString() : std::string();
    if (env.pool != nullptr) return env.pool->Acquire(connect, OpenOptions::UseCursorLibrary);
    PooledSession session(env.openSession ? env.openSession().release() : DefaultSessionFactory()().release());
    if (!session->Open(connect, OpenOptions::UseCursorLibrary)) return nullptr;
    return session;
}
