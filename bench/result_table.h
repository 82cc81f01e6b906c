#pragma once
// The one table the benchmark run ends with: each operation beside its floor.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// What is known of one case besides its times: the calls its program run sent.
struct CaseCalls {
    int statements = 0;
    int connects = 0;
    int alters = 0;
    long long requests = -1;       // through the delay proxy; -1 when not counted
    int floorStatements = 0;
    long long floorRequests = -1;
    std::vector<std::string> beyond;  // what the program sent beyond the floor
    long peakKb = -1;                 // a run of the program's own binary: its peak resident memory
};

// Collects the runs named "<operation>/<database>/<link>/<stations>/<side>",
// side "program" or "floor", shows progress on stderr, and prints the table.
class ResultTable : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;

    // Notes the calls a case's program run sent (shown beside its times).
    void NoteCalls(const std::string& caseName, CaseCalls calls) { calls_[caseName] = std::move(calls); }
    void NoteFloorRequests(const std::string& caseName, long long requests) {
        calls_[caseName].floorRequests = requests;
    }
    void NotePeakMemory(const std::string& caseName, long kb) { calls_[caseName].peakKb = kb; }
    // The table, in the order the cases ran, then per operation and
    // database what the program sent beyond the floor.
    void Print(std::ostream& out) const;

private:
    struct Row {
        std::string name;  // without the side
        double program = -1, floor = -1;  // milliseconds; -1 when not measured
        std::string error;
    };
    Row& RowFor(const std::string& caseName);

    std::vector<Row> rows_;
    std::map<std::string, CaseCalls> calls_;
};
