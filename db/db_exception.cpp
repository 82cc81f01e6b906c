#include "db/db_exception.h"

#include <algorithm>

CDBException::CDBException(short retCode, std::vector<DiagnosticRecord> records)
    : RetCode(retCode), Records(std::move(records)) {
    for (const DiagnosticRecord& r : Records) {
        StateText += "State:" + r.sqlState + ",Native:" + std::to_string(r.nativeError) + ",Origin:" + r.origins + "\n";
        ErrorText += r.text + "\n";
    }
}

const char* CDBException::what() const noexcept {
    if (!ErrorText.empty()) return ErrorText.c_str();
    try {
        if (what_.empty()) what_ = "database layer error " + std::to_string(RetCode);
        return what_.c_str();
    } catch (...) {
        return "database layer error";
    }
}

bool CDBException::HasState(std::string_view sqlState) const {
    return std::any_of(Records.begin(), Records.end(), [&](const DiagnosticRecord& r) { return r.sqlState == sqlState; });
}

bool CDBException::HasNativeError(long code) const {
    return std::any_of(Records.begin(), Records.end(), [&](const DiagnosticRecord& r) { return r.nativeError == code; });
}
