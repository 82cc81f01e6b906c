#include "bench/result_table.h"

#include <cstdio>
#include <iostream>
#include <sstream>

namespace {

// "a/b/c" split at '/'.
std::vector<std::string> Split(const std::string& name) {
    std::vector<std::string> parts;
    std::stringstream in(name);
    for (std::string part; std::getline(in, part, '/');) parts.push_back(part);
    return parts;
}

std::string Millis(double ms) {
    if (ms < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, ms < 10 ? "%.2f ms" : "%.0f ms", ms);
    return text;
}

}  // namespace

bool ResultTable::ReportContext(const Context& context) {
    std::cerr << "station-bench on " << context.cpu_info.num_cpus << " CPUs\n";
    return true;
}

ResultTable::Row& ResultTable::RowFor(const std::string& caseName) {
    for (Row& row : rows_)
        if (row.name == caseName) return row;
    Row row;
    row.name = caseName;
    rows_.push_back(std::move(row));
    return rows_.back();
}

void ResultTable::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        const std::string name = run.run_name.function_name;
        const auto cut = name.rfind('/');
        Row& row = RowFor(name.substr(0, cut));
        const std::string side = name.substr(cut + 1);
        // With --benchmark_repetitions the median of the repetitions stands
        // for the case: one slow repetition on a shared machine does not move it.
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
        if (run.error_occurred) {
            // One line in the table: the first line of the message.
            row.error += side + ": " + run.error_message.substr(0, run.error_message.find('\n')) + " ";
            std::cerr << name << ": FAILED: " << run.error_message << "\n";
            continue;
        }
        // Manual times are kept in seconds per iteration before the unit is applied.
        const double ms = run.GetAdjustedRealTime() * 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
        (side == "floor" ? row.floor : row.program) = ms;
        std::cerr << name << ": " << Millis(ms) << " (" << run.iterations << " iterations)\n";
    }
}

void ResultTable::Print(std::ostream& out) const {
    char line[512];
    auto emit = [&](const char* op, const char* db, const char* link, const char* stations, const std::string& time,
                    const std::string& floor, const std::string& ratio, const std::string& peak,
                    const std::string& program, const std::string& needed) {
        std::snprintf(line, sizeof line, "| %-9s | %-8s | %-8s | %8s | %9s | %9s | %6s | %6s | %-16s | %-16s |\n", op,
                      db, link, stations, time.c_str(), floor.c_str(), ratio.c_str(), peak.c_str(), program.c_str(),
                      needed.c_str());
        out << line;
    };
    // "N stmts" and, through the proxy, "/ R req".
    auto sent = [](int statements, long long requests) {
        std::string text = std::to_string(statements) + " stmts";
        if (requests >= 0) text += " / " + std::to_string(requests) + " req";
        return text;
    };
    emit("operation", "database", "link", "stations", "time", "floor", "ratio", "peak", "program sent", "floor sent");
    out << "|-----------|----------|----------|---------:|----------:|----------:|-------:|-------:|------------------|"
           "------------------|\n";
    for (const Row& row : rows_) {
        const auto parts = Split(row.name);
        if (parts.size() != 4) continue;
        std::string ratio = "-";
        double floor = row.floor;
        // Type-ahead is counted in keystroke floors: the floor of a keystroke
        // on a new code over the same link.
        if (parts[0] == "type-ahead")
            for (const Row& other : rows_)
                if (other.name == "key-new/" + parts[1] + "/" + parts[2] + "/" + parts[3]) floor = other.floor;
        if (row.program > 0 && floor > 0) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2fx", row.program / floor);
            ratio = text;
        }
        std::string program, needed, peak = "-";
        if (auto it = calls_.find(row.name); it != calls_.end()) {
            if (it->second.peakKb >= 0) peak = std::to_string((it->second.peakKb + 512) / 1024) + " MB";
            program = sent(it->second.statements, it->second.requests);
            needed = sent(it->second.floorStatements, it->second.floorRequests);
        }
        if (!row.error.empty()) program = "FAILED: " + row.error;
        if (parts[0] == "type-ahead") needed = "key-new floor";
        emit(parts[0].c_str(), parts[1].c_str(), parts[2].c_str(), parts[3].c_str(), Millis(row.program),
             Millis(floor), ratio, peak, program, needed);
    }
    // What the program sent beyond the floor, once per operation and database.
    std::map<std::string, bool> shown;
    out << "\nSent by the program beyond the floor (ODBC calls; statements a driver adds by itself show only as "
           "requests):\n";
    for (const Row& row : rows_) {
        const auto parts = Split(row.name);
        if (parts.size() != 4) continue;
        const std::string key = parts[0] + " " + parts[1] + " (" + parts[3] + " stations)";
        auto it = calls_.find(row.name);
        if (it == calls_.end() || shown[key]) continue;
        shown[key] = true;
        out << "- " << key << ":";
        if (it->second.beyond.empty()) out << " nothing";
        out << "\n";
        for (const std::string& call : it->second.beyond) out << "    " << call << "\n";
    }
}
