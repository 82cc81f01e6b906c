// station-bench: the program's start-up, keystroke, save and delete, and
// the catalogue programs station-check and station-export, each
// beside its raw ODBC floor, on every database and link that scripts/bench.sh
// sets up. Start-up runs on the Qt port (offscreen), since filling real
// widgets is part of what the user waits for; the form operations run on the
// in-memory port inside a started program. The floor sends the statements the
// operation needs (picked out of the calls the program's run sent, recorded at
// the ODBC boundary: see operation_floor.h), each once with SQLExecDirect on
// one kept connection with the driver's defaults. Through a delay proxy both
// sides also count their requests (chunks towards the server).
//
// Environment: SE_BENCH_TARGETS "backend/link/dsn[@counter] ..." (backend
// sqlite, postgres or mariadb; counter: the request counter file of the
// link's delay proxy), SE_TEST_UID and SE_TEST_PWD, ODBCINI. With
// SE_BENCH_SHOW_CALLS=1 every floor also lists its timed calls on stderr, each
// with the time it took: where an operation's time goes.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWindow>
#include <QtGui/qpa/qwindowsysteminterface.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "app/station_app.h"
#include "bench/odbc_floor.h"
#include "bench/odbc_recording.h"
#include "bench/operation_floor.h"
#include "bench/request_counter.h"
#include "bench/result_table.h"
#include "bench/station_fill.h"
#include "tools/check_program.h"
#include "tools/export_program.h"
#include "tools/import_program.h"
#include "tools/journal_programs.h"
#include "station/station_journal.h"
#include "db/schema_upgrade.h"
#include "platform/fake/fake_dialog_port.h"
#include "platform/qt/qt_dialog_port.h"
#include "resources/control_ids.h"
#include "resources/string_table.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::FakeDialogPort;

// One database reached over one link.
struct Target {
    std::string backend, link, dsn;
    std::string counter;  // the delay proxy's request counter file; empty on loopback
};

// The request counter of a target's link; answers -1 without one.
long long Requests(const Target& t) {
    static std::map<std::string, RequestCounter> counters;
    if (t.counter.empty()) return -1;
    auto it = counters.try_emplace(t.counter, t.counter).first;
    return it->second.Read();
}

enum class Operation { StartUp, Keystroke, NewKeystroke, Save, Delete, TypeAhead, Check, Export, History, Import };

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
    {Operation::NewKeystroke, "key-new", 100, 20, 50},
    {Operation::TypeAhead, "type-ahead", 100, 5, 0},
    {Operation::Save, "save", 100, 8, 16},
    {Operation::Delete, "delete", 100, 8, 16},
    // station-history of the start station with kHistoryEntries entries.
    {Operation::History, "history", 100, 5, 10},
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
    // station-import of a file of that many new stations (3 channels each)
    // into the catalogue of 100; the floor inserts their rows.
    {Operation::Import, "import", 10000, 2, 2},
};

bool IsCatalogueProgram(Operation operation) {
    return operation == Operation::Check || operation == Operation::Export || operation == Operation::History;
}

// The journal entries of the start station that the history case lists.
constexpr int kHistoryEntries = 1000;

// The calls of one program run in its three parts: untimed set-up, the timed
// operation, untimed clean-up.
struct OperationRecording {
    Recording before, timed, after;
    long long requests = -1;  // requests of the timed part, -1 when not counted
};

// A case's floor: its statements, and the requests they took once.
struct CaseFloor {
    OperationFloor floor;
    long long requests = -1;
};

FloorOperation FloorOperationOf(Operation operation) {
    switch (operation) {
        case Operation::StartUp: return FloorOperation::StartUp;
        case Operation::Keystroke:
        case Operation::NewKeystroke:
        case Operation::TypeAhead: return FloorOperation::Keystroke;
        case Operation::Save: return FloorOperation::Save;
        case Operation::Delete: return FloorOperation::Delete;
        case Operation::Check:
        case Operation::Export: return FloorOperation::Catalogue;
        case Operation::History: return FloorOperation::History;
        case Operation::Import: return FloorOperation::Import;
    }
    return FloorOperation::StartUp;
}

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

std::map<std::string, CaseFloor>& Floors() {
    static std::map<std::string, CaseFloor> floors;
    return floors;
}

void Remember(const Target& t, const Case& c, OperationRecording recording) {
    CaseFloor& floor = Floors()[CaseName(t, c)];
    floor.floor = FloorOf(FloorOperationOf(c.operation), recording.timed);
    CaseCalls calls;
    calls.statements = recording.timed.Statements();
    calls.connects = recording.timed.Connects();
    calls.alters = recording.timed.Matching("ALTER");
    calls.requests = recording.requests;
    calls.floorStatements = floor.floor.floor.Statements();
    calls.beyond = floor.floor.beyond;
    Table().NoteCalls(CaseName(t, c), calls);
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
    UpgradeSchema(session, [&](const ColumnUpgradeFailure& failure) {
        failures += ColumnUpgradeFailureText(failure.Table, failure.Column, failure.ErrorText) + "\n";
    });
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

// A program's main, as the programs' own mains call it.
using ProgramMain = int (*)(int argc, char** argv, std::ostream& out, std::ostream& err);

// Runs `main` in this process with `args` and the target's database, output
// discarded; throws when its exit status is above `worstAccepted`.
void RunProgram(const Target& t, ProgramMain main, std::vector<std::string> args, int worstAccepted) {
    for (const char* key : {"ODBC=", "USER=", "PASSWORD="})
        args.push_back(key + (key[0] == 'O' ? t.dsn : Env(key[0] == 'U' ? "SE_TEST_UID" : "SE_TEST_PWD")));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    DiscardBuffer discard;
    std::ostream out(&discard);
    std::ostringstream err;
    if (main(static_cast<int>(args.size()), argv.data(), out, err) > worstAccepted)
        throw std::runtime_error(args[0] + ": " + err.str().substr(0, 500));
}

// One run of station-check, station-export or station-history; 1 is a run
// with findings or notes (the generated codes have six characters).
void RunCatalogueProgram(const Target& t, Operation operation) {
    if (operation == Operation::Check) return RunProgram(t, RunStationCheck, {"station-check"}, 1);
    if (operation == Operation::Export) return RunProgram(t, RunStationExport, {"station-export", "--stationxml"}, 1);
    RunProgram(t, RunStationHistory, {"station-history", kStartStation}, 1);
}

// Runs argv (its program named by path) as a child, output discarded, and
// answers the child's peak resident memory (kB) as wait4 gives it; -1 when
// it did not run to its end (exit 2 is a run that failed). The kernel keeps
// in a child's peak the memory of what it was before its exec, so this is
// called in a fresh small process (see PeakMemoryOfProgram), never in the
// bench itself.
long PeakMemoryOfChild(char** argv) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) _exit(127);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) && WEXITSTATUS(status) != 2 && WEXITSTATUS(status) != 127 ? usage.ru_maxrss : -1;
}

// The option under which station-bench measures one child (see main).
constexpr const char* kPeakMemoryOption = "--peak-memory-of";

// The peak resident memory (kB) of one run of the program's own binary,
// output discarded: measured by this bench started afresh, which runs it.
long PeakMemoryOfProgram(const Target& t, Operation operation) {
    const std::string program = std::string(SE_BENCH_TOOLS_DIR) + "/" +
                                (operation == Operation::Check ? "station-check" : "station-export");
    std::vector<std::string> args = {"/proc/self/exe", kPeakMemoryOption, program};
    if (operation == Operation::Export) args.push_back("--stationxml");
    args.push_back("ODBC=" + t.dsn);
    args.push_back("USER=" + Env("SE_TEST_UID"));
    args.push_back("PASSWORD=" + Env("SE_TEST_PWD"));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (length <= 0) throw std::runtime_error("station-bench: its own path is unknown");
    self.resize(static_cast<size_t>(length));
    argv[0] = self.data();
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&files, pipeFds[0]);
    pid_t child = 0;
    const int failed = posix_spawn(&child, self.c_str(), &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    close(pipeFds[1]);
    std::string answer;
    char piece[64];
    for (ssize_t got; (got = read(pipeFds[0], piece, sizeof piece)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        answer.append(piece, static_cast<size_t>(got));
    }
    close(pipeFds[0]);
    if (failed != 0) throw std::runtime_error(program + ": " + std::strerror(failed));
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const long kb = std::atol(answer.c_str());
    if (kb <= 0) throw std::runtime_error(program + ": did not run to its end");
    return kb;
}

// A catalogue program, run in this process from its start to its exit.
void MeasureCatalogueProgram(benchmark::State& state, const Target& t, const Case& c) {
    try {
        if (c.operation == Operation::History) {
            CDatabase session;
            session.Open(ConnectString(t), 0);
            FillJournal(session, kStartStation, kHistoryEntries);
        }
        OperationRecording recording;
        StartRecording();
        RunCatalogueProgram(t, c.operation);
        recording.timed = StopRecording();
        Remember(t, c, std::move(recording));
        if (c.operation != Operation::History) Table().NotePeakMemory(CaseName(t, c), PeakMemoryOfProgram(t, c.operation));
        for (auto _ : state) {
            const auto begin = Clock::now();
            RunCatalogueProgram(t, c.operation);
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// The import's file of `stations` stations, written once per run.
std::string ImportFile(int stations) {
    static std::map<int, std::string> written;
    auto [it, fresh] = written.try_emplace(stations);
    if (fresh) {
        it->second = "/tmp/station-bench-import-" + std::to_string(stations) + ".xml";
        WriteImportFile(it->second, stations);
    }
    return it->second;
}

// The statements that take the imported stations (codes I...) and their
// journal entries out again, as calls the floor's client sends too.
Recording ImportCleanUp() {
    Recording cleanUp;
    for (const char* sql : {"delete from SITECHAN where STA like 'I%'", "delete from SITE where STA like 'I%'",
                            "delete from STATION_JOURNAL where STA like 'I%'"})
        cleanUp.calls.push_back(RecordedCall{CallKind::ExecDirect, sql, {}});
    return cleanUp;
}

// station-import of the case's file as its main runs it, output discarded;
// throws when a station was not written.
void RunImport(const Target& t, const Case& c) {
    // 1 is a run with notes (the generated codes are longer than COD).
    RunProgram(t, RunStationImport,
               {"station-import", "--stationxml", ImportFile(c.stations), "--at", "2020-01-01"}, 1);
}

// An import into the catalogue, each run after the imported stations were
// taken out again (untimed).
void MeasureImport(benchmark::State& state, const Target& t, const Case& c) {
    try {
        CDatabase session;
        session.Open(ConnectString(t), 0);
        // Journaled, as the program writes wherever the journal can be kept.
        if (const JournalState journal = EnsureJournalTable(session); !journal.available)
            throw std::runtime_error("journal: " + journal.reason);
        const auto cleanUp = [&] {
            for (const RecordedCall& call : ImportCleanUp().calls) session.ExecuteDirect(call.text);
        };
        ImportFile(c.stations);
        cleanUp();
        OperationRecording recording;
        recording.before = recording.after = ImportCleanUp();
        StartRecording();
        const long long requests = Requests(t);
        RunImport(t, c);
        recording.timed = StopRecording();
        if (requests >= 0) recording.requests = Requests(t) - requests;
        Remember(t, c, std::move(recording));
        for (auto _ : state) {
            cleanUp();
            const auto begin = Clock::now();
            RunImport(t, c);
            const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
            state.SetIterationTime(seconds);
            state.counters["stations_per_s"] = c.stations / seconds;
        }
        cleanUp();
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
        case Operation::NewKeystroke:
            // A code SITE does not hold: the load and the next-index query.
            return {none,
                    [](FakeDialogPort& p) {
                        p.TypeKeys(ctl::StationCode, "X");
                        if (p.Text(ctl::StationCode) != std::string(kStartStation) + "X")
                            throw std::runtime_error("the keystroke did not reach the new code");
                    },
                    [](FakeDialogPort& p) { p.TypeKeys(ctl::StationCode, "\b"); }};
        case Operation::Save:
            return {typeNew, save, [=](FakeDialogPort& p) { remove(p), backToStart(p); }};
        case Operation::Delete:
            return {[=](FakeDialogPort& p) { typeNew(p), save(p); }, remove, backToStart};
        case Operation::StartUp:
        case Operation::TypeAhead:
        case Operation::Check:
        case Operation::Export:
        case Operation::History:
        case Operation::Import: break;
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
            // One run first, so that the recorded one finds what every later
            // run finds: the pool holding its sessions, the drivers their
            // per-connection settings.
            steps.before(p);
            steps.timed(p);
            steps.after(p);
            ExpectNoMessages(p);
            OperationRecording recording;
            for (auto [step, into] : {std::pair{&steps.before, &recording.before},
                                      std::pair{&steps.timed, &recording.timed},
                                      std::pair{&steps.after, &recording.after}}) {
                const long long requests = Requests(t);
                StartRecording();
                (*step)(p);
                *into = StopRecording();
                if (into == &recording.timed && requests >= 0) recording.requests = Requests(t) - requests;
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
        const long long requests = Requests(t);
        StartOnQt(t, c, &recording.timed);
        if (requests >= 0) recording.requests = Requests(t) - requests;
        Remember(t, c, std::move(recording));
        for (auto _ : state) state.SetIterationTime(StartOnQt(t, c, nullptr));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// Ten keys typed at 100 keys a second into the emptied station code box of a
// started program on the Qt port, each queued by the window system as a
// keyboard's is: the station's eight characters, a ninth by mistake and a
// backspace. Answers the seconds from the first key until the form shows the
// tenth code's station.
double TypeAheadOnQt(const Target& t, Recording* recording, long long* requests) {
    platform::QtDialogPort& port = QtPort();
    const std::string code = kTypedStation;
    const std::string shownName = "Station " + code;
    double seconds = -1;
    std::string failure;
    std::thread keyboard;
    QTimer poll;
    QTimer::singleShot(0, [&] {
        QDialog* window = port.Dialog();
        if (window == nullptr || port.Widget(ctl::StationCode) == nullptr) {
            failure = "the form has no station code box";
            port.EndDialog(platform::IDCANCEL);
            return;
        }
        window->activateWindow();
        port.FocusAndSelectAll(ctl::StationCode);
        port.SetText(ctl::StationCode, "");
        QApplication::processEvents();
        QWindow* handle = window->windowHandle();
        const long long before = Requests(t);
        if (recording != nullptr) StartRecording();
        const auto begin = Clock::now();
        keyboard = std::thread([handle, code] {
            using Queued = QWindowSystemInterface::AsynchronousDelivery;
            std::vector<std::pair<int, QString>> keys;
            for (const char ch : code + "X")
                keys.emplace_back(static_cast<int>(Qt::Key_A) + (ch - 'A'), QString(QChar(ch).toLower()));
            keys.emplace_back(static_cast<int>(Qt::Key_Backspace), QString());
            for (const auto& [key, text] : keys) {
                QWindowSystemInterface::handleKeyEvent<Queued>(handle, QEvent::KeyPress, key, Qt::NoModifier, text);
                QWindowSystemInterface::handleKeyEvent<Queued>(handle, QEvent::KeyRelease, key, Qt::NoModifier, text);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        poll.setInterval(1);
        QObject::connect(&poll, &QTimer::timeout, [&, before, begin] {
            if (port.Text(ctl::StationCode) != code || port.Text(ctl::NameEn) != shownName) {
                if (Clock::now() - begin > std::chrono::seconds(30)) {
                    failure = "the typed station was not shown within 30 s";
                    poll.stop();
                    port.EndDialog(platform::IDCANCEL);
                }
                return;
            }
            seconds = std::chrono::duration<double>(Clock::now() - begin).count();
            if (recording != nullptr) *recording = StopRecording();
            if (requests != nullptr && before >= 0) *requests = Requests(t) - before;
            poll.stop();
            port.EndDialog(platform::IDOK);
        });
        poll.start();
    });
    CStationApp(port, CommandLine(t), ProfileReader()).StartUp();
    if (keyboard.joinable()) keyboard.join();
    if (!failure.empty()) throw std::runtime_error(failure);
    return seconds;
}

void MeasureTypeAhead(benchmark::State& state, const Target& t, const Case& c) {
    try {
        OperationRecording recording;
        TypeAheadOnQt(t, &recording.timed, &recording.requests);
        Remember(t, c, std::move(recording));
        for (auto _ : state) state.SetIterationTime(TypeAheadOnQt(t, nullptr, nullptr));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

void MeasureProgram(benchmark::State& state, const Target& t, const Case& c) {
    try {
        PrepareDatabase(t, c.operation == Operation::Import ? 100 : c.stations, IsCatalogueProgram(c.operation));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    if (IsCatalogueProgram(c.operation))
        MeasureCatalogueProgram(state, t, c);
    else if (c.operation == Operation::Import)
        MeasureImport(state, t, c);
    else if (c.operation == Operation::StartUp)
        MeasureStartUp(state, t, c);
    else if (c.operation == Operation::TypeAhead)
        MeasureTypeAhead(state, t, c);
    else
        MeasureFormOperation(state, t, c);
}

// Lists the floor's calls of a case with the time each took.
void ShowCalls(FloorClient& floor, const std::string& caseName, const OperationRecording& recording,
               const Recording& needed) {
    static constexpr const char* kKinds[] = {"exec", "prepare+execute", "primary keys", "autocommit", "end tran",
                                             "connect"};
    std::vector<double> seconds;
    floor.Replay(recording.before);
    floor.Replay(needed, &seconds);
    floor.Replay(recording.after);
    std::cerr << caseName << ": " << needed.calls.size() << " calls\n";
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const RecordedCall& call = needed.calls[i];
        char time[32];
        std::snprintf(time, sizeof time, "%8.3f ms  ", seconds[i] * 1e3);
        std::cerr << time << kKinds[static_cast<int>(call.kind)] << " " << call.text.substr(0, 110)
                  << (call.params.empty() ? "" : " [" + std::to_string(call.params.size()) + " params]") << "\n";
    }
}

// The statements the case's operation needs, sent by the raw client; the
// program's set-up and clean-up calls run untimed around them, as recorded.
void MeasureFloor(benchmark::State& state, const Target& t, const Case& c) {
    const auto found = Recordings().find(CaseName(t, c));
    if (found == Recordings().end()) {
        state.SkipWithError("the program's run recorded nothing");
        return;
    }
    const OperationRecording& recording = found->second;
    CaseFloor& caseFloor = Floors()[CaseName(t, c)];
    const Recording& needed = caseFloor.floor.floor;
    try {
        FloorClient floor(ConnectString(t));
        for (auto _ : state) {
            floor.Replay(recording.before);
            const long long requests = Requests(t);
            const auto begin = Clock::now();
            if (c.operation == Operation::StartUp) {
                // A start has no connection yet: its floor opens one.
                FloorClient started(ConnectString(t));
                started.Replay(needed);
                state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
                if (requests >= 0) caseFloor.requests = Requests(t) - requests;
                continue;
            }
            floor.Replay(needed);
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
            if (requests >= 0) caseFloor.requests = Requests(t) - requests;  // the last iteration's
            floor.Replay(recording.after);
        }
        Table().NoteFloorRequests(CaseName(t, c), caseFloor.requests);
        if (std::getenv("SE_BENCH_SHOW_CALLS") != nullptr) ShowCalls(floor, CaseName(t, c), recording, needed);
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
            throw std::runtime_error("SE_BENCH_TARGETS: not backend/link/dsn[@counter]: " + item);
        const auto d = item.find('@', b + 1);
        targets.push_back({item.substr(0, a), item.substr(a + 1, b - a - 1),
                           item.substr(b + 1, d == std::string::npos ? std::string::npos : d - b - 1),
                           d == std::string::npos ? std::string() : item.substr(d + 1)});
    }
    return targets;
}

}  // namespace

int main(int argc, char** argv) {
    // Started by PeakMemoryOfProgram: runs the program after it and prints its peak.
    if (argc > 2 && std::string(argv[1]) == kPeakMemoryOption) {
        std::cout << PeakMemoryOfChild(argv + 2) << std::endl;
        return 0;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    std::vector<Target> targets;
    try {
        targets = Targets();
    } catch (const std::exception& e) {
        std::cerr << "station-bench: " << e.what() << "\n";
        return 2;
    }
    const char* typeAheadLinkEnv = std::getenv("SE_BENCH_TYPEAHEAD_LINK");
    const std::string typeAheadLink = typeAheadLinkEnv != nullptr ? typeAheadLinkEnv : "";
    // Grouped by station count (and channels or not), so that each database
    // is filled once per count.
    for (int stations : {100, 5000, 10000, 20000, 100000})
        for (bool programs : {false, true})
            for (const Target& t : targets)
                for (const Case& c : kCases) {
                    if (c.stations != stations || IsCatalogueProgram(c.operation) != programs) continue;
                    // The slow link of the type-ahead case measures it and the
                    // keystroke floor it is counted in; every other link the rest.
                    const bool slow = t.link == typeAheadLink;
                    const bool typeAhead = c.operation == Operation::TypeAhead;
                    if (slow ? !typeAhead && c.operation != Operation::NewKeystroke : typeAhead) continue;
                    // An import of thousands of stations is measured on the
                    // database's own machine only.
                    if (c.operation == Operation::Import && !t.counter.empty()) continue;
                    const std::string name = CaseName(t, c);
                    benchmark::RegisterBenchmark((name + "/program").c_str(), MeasureProgram, t, c)
                        ->Iterations(c.programIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
                    if (c.floorIterations > 0)
                        benchmark::RegisterBenchmark((name + "/floor").c_str(), MeasureFloor, t, c)
                            ->Iterations(c.floorIterations)->UseManualTime()->Unit(benchmark::kMillisecond);
                }
    benchmark::RunSpecifiedBenchmarks(&Table());
    Table().Print(std::cout);
    benchmark::Shutdown();
    return 0;
}
