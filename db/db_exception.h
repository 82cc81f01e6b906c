#pragma once
// The one failure type of the database layer.

#include <string>

// A failed ODBC call or a layer error. ErrorText holds the driver's messages,
// one per line and without their bracketed origin prefixes; StateText holds,
// per diagnostic record, "State:<sqlstate>,Native:<n>,Origin:<prefixes>\n".
// Layer errors (1001 to 1028, -2) carry no diagnostics: both texts are empty.
class CDBException {
public:
    CDBException(short retCode, std::string errorText, std::string stateText)
        : RetCode(retCode), ErrorText(std::move(errorText)), StateText(std::move(stateText)) {}

    // A layer error: a number from the layer's own list, no diagnostics.
    static CDBException Layer(short number) { return CDBException(number, {}, {}); }

    short RetCode;
    std::string ErrorText;
    std::string StateText;
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
inline constexpr short SqlConformance = 1015;
inline constexpr short MovePastEnd = 1016;
inline constexpr short OdbcVersion = 1018;
inline constexpr short DataTruncated = 1021;
inline constexpr short RowError = 1022;
inline constexpr short RowStatusUnexpected = 1024;
}  // namespace LayerError
