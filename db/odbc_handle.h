#pragma once
// RAII ownership of one ODBC handle, the repetition of a call while the
// driver is still executing, and the size of a fixed-length parameter value.

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <utility>

// Owns an ODBC handle of one type and frees it with SQLFreeHandle when it goes
// out of scope, however the scope is left.
template <SQLSMALLINT HandleType>
class OdbcHandle {
public:
    OdbcHandle() = default;
    explicit OdbcHandle(SQLHANDLE h) : h_(h) {}
    ~OdbcHandle() { reset(); }
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    OdbcHandle(OdbcHandle&& o) noexcept : h_(std::exchange(o.h_, SQLHANDLE{})) {}
    OdbcHandle& operator=(OdbcHandle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, SQLHANDLE{});
        }
        return *this;
    }

    // Allocates a new handle under `parent`; answers the ODBC return code.
    SQLRETURN Allocate(SQLHANDLE parent) {
        reset();
        return SQLAllocHandle(HandleType, parent, &h_);
    }
    void reset() {
        if (h_ != SQL_NULL_HANDLE) {
            SQLFreeHandle(HandleType, h_);
            h_ = SQL_NULL_HANDLE;
        }
    }
    SQLHANDLE get() const { return h_; }
    SQLHANDLE release() { return std::exchange(h_, SQLHANDLE{}); }
    explicit operator bool() const { return h_ != SQL_NULL_HANDLE; }

private:
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

using StatementHandle = OdbcHandle<SQL_HANDLE_STMT>;

// Repeats an ODBC call while the driver answers that it is still executing.
template <typename Call>
SQLRETURN RetryWhileExecuting(Call&& call) {
    SQLRETURN rc;
    do {
        rc = call();
    } while (rc == SQL_STILL_EXECUTING);
    return rc;
}

// The bytes a parameter value of a fixed-length C type takes (a slot of a
// column-wise parameter array); 0 for text, whose length varies.
inline std::size_t FixedParamBytes(SQLSMALLINT cType) {
    switch (cType) {
        case SQL_C_SLONG: return sizeof(SQLINTEGER);
        case SQL_C_DOUBLE: return sizeof(double);
        case SQL_C_TYPE_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
        default: return 0;
    }
}
