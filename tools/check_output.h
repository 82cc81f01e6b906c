#pragma once
// The findings of station-check as text for the operator or as JSON.

#include <ostream>
#include <string>
#include <vector>

#include "tools/check_rules.h"

// What was checked, for the closing line.
struct CheckSummary {
    size_t stations = 0;
    size_t channels = 0;
};

// One line per finding ("STA CHAN severity rule: message", "-" for no
// channel), then a closing line with the counts.
void WriteFindingsText(std::ostream& out, const std::vector<Finding>& findings, const CheckSummary& summary);

// {"stations": n, "channels": n, "findings": [{"station", "channel", "rule",
// "severity", "message"}, ...]}, written by Qt's JSON writer.
std::string FindingsJson(const std::vector<Finding>& findings, const CheckSummary& summary);
