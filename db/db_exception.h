#pragma once
// The one failure type of the database layer.

#include <exception>
#include <string>
#include <string_view>
#include <vector>

// One diagnostic record of a failed call: SQLSTATE, the driver's native
// error code, and its message without the bracketed origin prefixes.
struct DiagnosticRecord {
    std::string sqlState;
    long nativeError = 0;
    std::string text;
    std::string origins;  // the "[...]" prefixes the message began with
};

// A failed ODBC call or a layer error. Records holds the diagnostic records
// of the failing handle; ErrorText and StateText are their texts as shown to
// the user: the messages one per line, and per record
// "State:<sqlstate>,Native:<n>,Origin:<prefixes>\n". Layer errors (1005 to
// 1022, -2) carry no diagnostics: no records, both texts empty.
class CDBException : public std::exception {
public:
    CDBException(short retCode, std::vector<DiagnosticRecord> records);
    // A failure with a text of its own and no diagnostic records.
    CDBException(short retCode, std::string errorText, std::string stateText)
        : RetCode(retCode), ErrorText(std::move(errorText)), StateText(std::move(stateText)) {}

    // A layer error: a number from the layer's own list, no diagnostics.
    static CDBException Layer(short number) { return CDBException(number, {}, {}); }

    // The driver's text, or the layer error's number when there is none.
    const char* what() const noexcept override;

    // True when one of the records has this SQLSTATE.
    bool HasState(std::string_view sqlState) const;
    // True when one of the records has this native error code.
    bool HasNativeError(long code) const;

    short RetCode;
    std::string ErrorText;
    std::string StateText;
    std::vector<DiagnosticRecord> Records;

private:
    mutable std::string what_;
};

// Layer error numbers raised by the session and the record sets.
namespace LayerError {
inline constexpr short NoStatementHandle = -2;
inline constexpr short UpdateWithoutBegin = 1005;
inline constexpr short MoreThanOneRowAffected = 1006;
inline constexpr short NoCurrentRecord = 1007;
inline constexpr short NoRowAffected = 1008;
inline constexpr short NotUpdatable = 1009;
inline constexpr short NoStaticCursor = 1013;
inline constexpr short ApiConformance = 1014;
inline constexpr short MovePastEnd = 1016;
inline constexpr short OdbcVersion = 1018;
inline constexpr short DataTruncated = 1021;
inline constexpr short RowError = 1022;
}  // namespace LayerError
