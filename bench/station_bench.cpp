// station-bench: the program's start-up, keystroke, save and delete, and
// the catalogue programs station-check and station-export, each
// beside its raw ODBC floor, on every database and link that scripts/bench.sh
// sets up. Start-up runs on the Qt port (offscreen), since filling real
// widgets is part of what the user waits for; the form operations run on the
// in-memory port inside a started program. The floor sends the very calls the
// program's run sent (recorded at the ODBC boundary, see odbc_recording.h) on
// one kept connection.
//
// Environment: SE_BENCH_TARGETS "backend/link/dsn ..." (backend sqlite,
// postgres or mariadb), SE_TEST_UID and SE_TEST_PWD, ODBCINI. With
// SE_BENCH_SHOW_CALLS=1 every floor also lists its timed calls on stderr, each
// with the time it took: where an operation's time goes.

#include <benchmark/benchmark.h>

#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "app/station_app.h"
#include "bench/odbc_floor.h"
#include "bench/odbc_recording.h"
#include "bench/result_table.h"
#include "bench/station_fill.h"
#include "tools/check_program.h"
#include "tools/export_program.h"
#include "db/schema_upgrade.h"
#include "platform/fake/fake_dialog_port.h"
#include "platform/qt/qt_dialog_port.h"
#include "resources/control_ids.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::FakeDialogPort;

// One database reached over one link.
struct Target {
    std::string backend, link, dsn;
};

enum class Operation { StartUp, Keystroke, Save, Delete, Check, Export };

// One measured case: the operation, the stations in the database, and the
// iterations of the program's run and of the floor's.
struct Case {
    Operation operation;
    const char* name;
    int stations;
    int programIterations;
    int floorIterations;
};

constexpr Case kCases[] = {
    {Operation::StartUp, "start-up", 100, 5, 10},
    {Operation::Keystroke, "keystroke", 100, 20, 50},
    {Operation::Save, "save", 100, 8, 16},
    {Operation::Delete, "delete", 100, 8, 16},
    {Operation::StartUp, "start-up", 10000, 3, 5},
    {Operation::StartUp, "start-up", 100000, 2, 3},
    // The catalogue programs on 3 channels a station; the floor reads SITE and
    // SITECHAN as the program's run did, nothing else.
    {Operation::Check, "check", 5000, 3, 5},
    {Operation::Export, "export", 5000, 3, 5},
    {Operation::Check, "check", 20000, 2, 3},
    {Operation::Export, "export", 20000, 2, 3},
    {Operation::Check, "check", 100000, 1, 2},
    {Operation::Export, "export", 100000, 1, 2},
};

bool IsCatalogueProgram(Operation operation) {
    return operation == Operation::Check || operation == Operation::Export;
}

// The calls of one program run in its three parts: untimed set-up, the timed
// operation, untimed clean-up.
struct OperationRecording {
    Recording before, timed, after;
};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) throw std::runtime_error(std::string("environment variable not set: ") + name);
    return value;
}

std::string ConnectString(const Target& t) {
    return "DSN=" + t.dsn + ";UID=" + Env("SE_TEST_UID") + ";PWD=" + Env("SE_TEST_PWD") + ";";
}

std::string CommandLine(const Target& t) {
    return std::string(kStartStation) + " ODBC=" + t.dsn + " USER=" + Env("SE_TEST_UID") + " PASSWORD=" +
           Env("SE_TEST_PWD");
}

std::string CaseName(const Target& t, const Case& c) {
    return std::string(c.name) + "/" + t.backend + "/" + t.link + "/" + std::to_string(c.stations);
}

ResultTable& Table() {
    static ResultTable table;
    return table;
}

std::map<std::string, OperationRecording>& Recordings() {
    static std::map<std::string, OperationRecording> recordings;
    return recordings;
}

void Remember(const Target& t, const Case& c, OperationRecording recording) {
    Table().NoteCalls(CaseName(t, c), {recording.timed.Statements(), recording.timed.Connects(),
                                       recording.timed.Matching("ALTER")});
    Recordings()[CaseName(t, c)] = std::move(recording);
}

// Brings the database behind the target to the upgraded schema holding
// `stations` stations (with their channels when asked), unless it holds them
// already.
void PrepareDatabase(const Target& t, int stations, bool withChannels) {
    static std::map<std::string, std::pair<int, bool>> filled;
    if (filled[t.backend] == std::pair{stations, withChannels}) return;
    CDatabase session;
    session.Open(ConnectString(t), 0);
    std::string failures;
    UpgradeSchema(session, [&](const std::string& message) { failures += message + "\n"; });
    if (!failures.empty()) throw std::runtime_error("schema upgrade: " + failures);
    FillStations(session, t.backend, stations, withChannels);
    filled[t.backend] = {stations, withChannels};
}

// A stream that takes everything and keeps nothing, for the programs' output.
class DiscardBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// One run of station-check or station-export as its main runs it, output
// discarded; throws when it could not run.
void RunCatalogueProgram(const Target& t, Operation operation) {
    std::vector<std::string> args = {operation == Operation::Check ? "station-check" : "station-export"};
    if (operation == Operation::Export) args.push_back("--stationxml");
    for (const char* key : {"ODBC=", "USER=", "PASSWORD="})
        args.push_back(key + (key[0] == 'O' ? t.dsn : Env(key[0] == 'U' ? "SE_TEST_UID" : "SE_TEST_PWD")));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    DiscardBuffer discard;
    std::ostream out(&discard);
    std::ostringstream err;
    const int argc = static_cast<int>(args.size());
    const int status = operation == Operation::Check ? RunStationCheck(argc, argv.data(), out, err)
                                                     : RunStationExport(argc, argv.data(), out, err);
    // 1 is a run with findings or notes (the generated codes have six
    // characters); 2 is a run that failed.
    if (status == 2) throw std::runtime_error(args[0] + ": " + err.str().substr(0, 500));
}

// A catalogue program, run in this process from its start to its exit.
void MeasureCatalogueProgram(benchmark::State& state, const Target& t, const Case& c) {
    try {
        OperationRecording recording;
        StartRecording();
        RunCatalogueProgram(t, c.operation);
        recording.timed = StopRecording();
        Remember(t, c, std::move(recording));
        for (auto _ : state) {
            const auto begin = Clock::now();
            RunCatalogueProgram(t, c.operation);
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// Throws with the first message box the form showed.
void ExpectNoMessages(const FakeDialogPort& port) {
    if (!port.Messages().empty()) throw std::runtime_error("message box: " + port.Messages().front().text);
}

// The user's actions of a form operation, in its three parts.
struct FormSteps {
    std::function<void(FakeDialogPort&)> before, timed, after;
};

FormSteps StepsOf(Operation operation) {
    using platform::Answer;
    const auto none = [](FakeDialogPort&) {};
    // A new station "KN": one key after the start station, then the defaults of a new station.
    const auto typeNew = [](FakeDialogPort& p) { p.TypeKeys(ctl::StationCode, "N"); };
    const auto save = [](FakeDialogPort& p) { p.PressEnter(); };
    const auto remove = [](FakeDialogPort& p) {
        p.QueueAnswer(Answer::Ok);
        p.Press(ctl::Delete);
        // The question before deleting is expected; anything after it is not.
        if (!p.Messages().empty() && p.Messages().front().buttons == platform::Buttons::OkCancel)
            p.ClearMessages();
    };
    const auto backToStart = [](FakeDialogPort& p) { p.ReplaceText(ctl::StationCode, kStartStation); };
    switch (operation) {
        case Operation::Keystroke:
            return {none,
                    [](FakeDialogPort& p) {
                        p.TypeKeys(ctl::StationCode, "K");
                        if (p.Text(ctl::StationCode) != kKeystrokeStation)
                            throw std::runtime_error("the keystroke did not reach " + std::string(kKeystrokeStation));
                    },
                    [](FakeDialogPort& p) { p.TypeKeys(ctl::StationCode, "\b"); }};
        case Operation::Save:
            return {typeNew, save, [=](FakeDialogPort& p) { remove(p), backToStart(p); }};
        case Operation::Delete:
            return {[=](FakeDialogPort& p) { typeNew(p), save(p); }, remove, backToStart};
        case Operation::StartUp:
        case Operation::Check:
        case Operation::Export: break;
    }
    return {none, none, none};
}

// A form operation inside a started program on the in-memory port.
void MeasureFormOperation(benchmark::State& state, const Target& t, const Case& c) {
    FakeDialogPort port;
    CStationApp app(port, CommandLine(t), ProfileReader());
    const FormSteps steps = StepsOf(c.operation);
    std::string failure = "the form did not open";
    port.SetScript({[&](FakeDialogPort& p) {
        failure.clear();
        try {
            ExpectNoMessages(p);
            OperationRecording recording;
            for (auto [step, into] : {std::pair{&steps.before, &recording.before},
                                      std::pair{&steps.timed, &recording.timed},
                                      std::pair{&steps.after, &recording.after}}) {
                StartRecording();
                (*step)(p);
                *into = StopRecording();
            }
            ExpectNoMessages(p);
            Remember(t, c, std::move(recording));
            for (auto _ : state) {
                steps.before(p);
                const auto begin = Clock::now();
                steps.timed(p);
                state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
                steps.after(p);
                ExpectNoMessages(p);
            }
        } catch (const std::exception& e) {
            failure = e.what();
        }
        p.PressEsc();
    }});
    app.StartUp();
    if (!failure.empty() && !port.Messages().empty()) failure += ": " + port.Messages().front().text;
    if (!failure.empty()) state.SkipWithError(failure.c_str());
}

platform::QtDialogPort& QtPort() {
    static int argc = 1;
    static char name[] = "station-bench";
    static char* argv[] = {name, nullptr};
    static platform::QtDialogPort port(argc, argv);
    return port;
}

// One start of the program on the Qt port up to the shown form; answers the
// seconds it took. The form closes as soon as its event loop runs.
double StartOnQt(const Target& t, const Case& c, Recording* recording) {
    platform::QtDialogPort& port = QtPort();
    Clock::time_point shown;
    std::string failure;
    QTimer::singleShot(0, [&] {
        shown = Clock::now();
        if (recording != nullptr) *recording = StopRecording();
        if (port.GetCount(ctl::StationCode) != c.stations) failure = "the form shows an incomplete station list";
        port.EndDialog(platform::IDOK);
    });
    if (recording != nullptr) StartRecording();
    const auto begin = Clock::now();
    CStationApp(port, CommandLine(t), ProfileReader()).StartUp();
    if (!failure.empty()) throw std::runtime_error(failure);
    return std::chrono::duration<double>(shown - begin).count();
}

// Start-up on the Qt port, after one start on the in-memory port that must
// show no message (a box on the Qt port would wait for a user).
void MeasureStartUp(benchmark::State& state, const Target& t, const Case& c) {
    try {
        FakeDialogPort port;
        CStationApp(port, CommandLine(t), ProfileReader()).StartUp();
        ExpectNoMessages(port);
        OperationRecording recording;
        StartOnQt(t, c, &recording.timed);
        Remember(t, c, std::move(recording));
        for (auto _ : state) state.SetIterationTime(StartOnQt(t, c, nullptr));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

void MeasureProgram(benchmark::State& state, const Target& t, const Case& c) {
    try {
        PrepareDatabase(t, c.stations, IsCatalogueProgram(c.operation));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    if (IsCatalogueProgram(c.operation))
        MeasureCatalogueProgram(state, t, c);
    else if (c.operation == Operation::StartUp)
        MeasureStartUp(state, t, c);
    else
        MeasureFormOperation(state, t, c);
}

// Lists the timed calls of a case with the time each took on the floor.
void ShowCalls(FloorClient& floor, const std::string& caseName, const OperationRecording& recording) {
    static constexpr const char* kKinds[] = {"exec", "prepare+execute", "primary keys", "autocommit", "end tran",
                                             "connect"};
    std::vector<double> seconds;
    floor.Replay(recording.before);
    floor.Replay(recording.timed, &seconds);
    floor.Replay(recording.after);
    std::cerr << caseName << ": " << recording.timed.calls.size() << " calls\n";
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const RecordedCall& call = recording.timed.calls[i];
        char time[32];
        std::snprintf(time, sizeof time, "%8.3f ms  ", seconds[i] * 1e3);
        std::cerr << time << kKinds[static_cast<int>(call.kind)] << " " << call.text.substr(0, 110)
                  << (call.params.empty() ? "" : " [" + std::to_string(call.params.size()) + " params]") << "\n";
    }
}

// The recorded calls of the case's program run, sent by the raw client.
void MeasureFloor(benchmark::State& state, const Target& t, const Case& c) {
    const auto found = Recordings().find(CaseName(t, c));
    if (found == Recordings().end()) {
        state.SkipWithError("the program's run recorded nothing");
        return;
    }
    const OperationRecording& recording = found->second;
    try {
        FloorClient floor(ConnectString(t));
        for (auto _ : state) {
            floor.Replay(recording.before);
            const auto begin = Clock::now();
            floor.Replay(recording.timed);
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
            floor.Replay(recording.after);
        }
        if (std::getenv("SE_BENCH_SHOW_CALLS") != nullptr) ShowCalls(floor, CaseName(t, c), recording);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

std::vector<Target> Targets() {
    std::vector<Target> targets;
    std::stringstream in(Env("SE_BENCH_TARGETS"));
    for (std::string item; in >> item;) {
        const auto a = item.find('/'), b = item.find('/', a + 1);
        if (a == std::string::npos || b == std::string::npos)
            throw std::runtime_error("SE_BENCH_TARGETS: not backend/link/dsn: " + item);
        targets.push_back({item.substr(0, a), item.substr(a + 1, b - a - 1), item.substr(b + 1)});
    }
    return targets;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    std::vector<Target> targets;
    try {
        targets = Targets();
    } catch (const std::exception& e) {
        std::cerr << "station-bench: " << e.what() << "\n";
        return 2;
    }
    // Grouped by station count (and channels or not), so that each database
    // is filled once per count.
    for (int stations : {100, 5000, 10000, 20000, 100000})
        for (bool programs : {false, true})
            for (const Target& t : targets)
                for (const Case& c : kCases) {
                    if (c.stations != stations || IsCatalogueProgram(c.operation) != programs) continue;
                    const std::string name = CaseName(t, c);
                    benchmark::RegisterBenchmark((name + "/program").c_str(), MeasureProgram, t, c)
                        ->Iterations(c.programIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
                    benchmark::RegisterBenchmark((name + "/floor").c_str(), MeasureFloor, t, c)
                        ->Iterations(c.floorIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
                }
    benchmark::RunSpecifiedBenchmarks(&Table());
    Table().Print(std::cout);
    benchmark::Shutdown();
    return 0;
}
