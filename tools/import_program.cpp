#include "tools/import_program.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <set>

#include "settings/database_choice.h"
#include "settings/program_start.h"
#include "db/session.h"
#include "station/station_store.h"
#include "tools/station_import.h"
#include "tools/stationxml_reader.h"
#include "tools/tool_common.h"

namespace {

void WriteHelp(std::ostream& out) {
    out << "Использование: station-import --stationxml FILE [STA...] [--at TIME] [--dry-run]\n"
           "                      [ODBC=dsn] [USER=u] [PASSWORD=p]\n"
           "\n"
           "Переносит станции из файла FDSN StationXML (1.0-1.2, все сети) в SITE и SITECHAN:\n"
           "все станции файла или перечисленные.\n"
           "\n"
           "  --stationxml FILE  файл StationXML\n"
           "  --at TIME          момент (UTC), на который берутся эпохи станций и каналов:\n"
           "                     YYYY-MM-DD или YYYY-MM-DDThh:mm:ss; по умолчанию сейчас\n"
           "  --dry-run          только показать, что изменится: по станции новая / изменена /\n"
           "                     без изменений, поля старое -> новое, каналы добавлен / изменён / удалён;\n"
           "                     в базу ничего не пишется\n"
           "  --help             эта справка\n"
           "  --version          версия программы\n"
           "\n"
           "Эпоха станции: та, что содержит TIME, иначе последняя начавшаяся до TIME. Каналы: открытые\n"
           "в TIME, а у закончившейся эпохи - открытые в её конце. Каналы собираются в группы формы\n"
           "по коду места и первым двум буквам кода (не больше семи, по убыванию частоты), Z, N/1, E/2\n"
           "в компоненты 0, 1, 2. Что не помещается, пропускается или обрезается с замечанием в stderr.\n"
           "\n"
           "Подключение: ODBC=, USER=, PASSWORD= из командной строки, иначе из zrn.ini, иначе ZRN, ZRN, PJQ.\n"
           "Код выхода: 0 всё перенесено как в файле, 1 перенесено, но с замечаниями, 2 не выполнено\n"
           "(файл не является правильным StationXML: тогда не записано ничего; или станция не записана:\n"
           "её изменения отменены, остальные станции записаны; или станция или канал отвергнуты:\n"
           "код станции пуст или с пробелом, значение вне допустимого диапазона, у новой станции нет\n"
           "координат или высоты; они не записаны, остальное записано).\n"
           "Времена файла записываются в UTC, в каком бы часовом поясе ни работала программа.\n"
           "Каждая станция пишется целиком или не пишется вовсе, через сохранение формы; станции\n"
           "пишутся группами в одной транзакции, каждая за своей точкой сохранения.\n";
}

// --at: "YYYY-MM-DD" or a StationXML time (UTC when it names no zone).
std::optional<std::time_t> AtTime(const std::string& text) {
    if (text.size() == 10) return ParseXmlTime(text + "T00:00:00");
    return ParseXmlTime(text);
}

// What the command line asks of an import.
struct ImportArguments {
    std::string file;
    std::time_t when = 0;  // the moment whose epochs are taken
    bool dryRun = false;
    std::vector<std::string> stations;
    CommandLineValues connection;
};

// The command line read; nullopt, with the reason on `err`, when it asks for
// nothing the program can do.
std::optional<ImportArguments> ReadImportArguments(int argc, char** argv, std::ostream& err) {
    ProgramArguments arguments = SplitProgramArguments(argc, argv);
    ImportArguments asked;
    asked.connection = std::move(arguments.connection);
    std::optional<std::string> at;
    const std::vector<std::string>& args = arguments.others;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--dry-run") {
            asked.dryRun = true;
        } else if (arg == "--stationxml" || arg == "--at") {
            if (++i == args.size()) {
                err << "station-import: после " << arg << " нужно значение\n";
                return std::nullopt;
            }
            if (arg == "--at")
                at = args[i];
            else
                asked.file = args[i];
        } else if (!arg.empty() && arg[0] == '-') {
            err << "station-import: неизвестный параметр '" << arg << "' (справка: station-import --help)\n";
            return std::nullopt;
        } else {
            asked.stations.push_back(arg);
        }
    }
    if (asked.file.empty()) {
        err << "station-import: укажите файл: --stationxml FILE (справка: station-import --help)\n";
        return std::nullopt;
    }
    asked.when = std::time(nullptr);
    if (at) {
        const std::optional<std::time_t> parsed = AtTime(*at);
        if (!parsed) {
            err << "station-import: --at '" << *at << "' не является временем (YYYY-MM-DD или YYYY-MM-DDThh:mm:ss)\n";
            return std::nullopt;
        }
        asked.when = *parsed;
    }
    return asked;
}

// The stations of the file, those asked for or all; nullopt, with the reason
// on `err`, when the file cannot be read as StationXML. `codes` receives the
// station codes asked for.
std::optional<std::vector<XmlStation>> ReadImportFile(const ImportArguments& asked, std::vector<std::string>& codes,
                                                      std::ostream& err) {
    QFile input(QString::fromStdString(asked.file));
    if (!input.open(QIODevice::ReadOnly)) {
        err << "station-import: не удалось открыть " << asked.file << ": " << input.errorString().toStdString()
            << '\n';
        return std::nullopt;
    }
    const std::optional<std::vector<std::string>> listed = StationCodes(asked.stations, "station-import", err);
    if (!listed) return std::nullopt;
    codes = *listed;
    std::string error;
    std::optional<std::vector<XmlStation>> epochs =
        ReadStationXml(input, std::set<std::string>(codes.begin(), codes.end()), error);
    if (!epochs)
        err << "station-import: " << asked.file << " не является правильным StationXML (" << error
            << "); ничего не записано\n";
    return epochs;
}

// The stations to write at the moment asked for, with the notes of the plan
// and one for every code asked for that the file does not hold.
std::vector<ImportedStation> PlanStations(const std::vector<XmlStation>& epochs, std::time_t when,
                                          const std::vector<std::string>& codes, std::vector<ImportNote>& notes) {
    std::vector<ImportedStation> planned = PlanImport(epochs, when, notes);
    for (const std::string& code : codes)
        if (std::none_of(epochs.begin(), epochs.end(), [&](const XmlStation& e) { return e.code == code; }))
            notes.push_back({code, {}, "станции нет в файле"});
    return planned;
}

// What the writing of the stations came to.
struct ImportTally {
    size_t counts[3] = {0, 0, 0};  // by StationChange
    std::vector<std::string> failed;
    bool stopped = false;  // the data source has no transactions: nothing more was tried
};

// What the plan of one station made of it, as the write or the dry run took it.
struct StationResult {
    StationDiff diff;
    std::vector<ImportNote> kept;  // the notes of the plan that was written
    bool refused = false;          // a new station without its place: not written
};

// The plan of `station` against the station as read under the store's lock:
// what another writer committed before is kept where the file has no value
// for it, and the report says what was written.
StationStore::WritePlan LockedPlan(const ImportedStation& station, StationResult& result) {
    return [&station, &result](const StationSnapshot& locked) {
        const std::string& code = *station.site.STA;
        result.kept.clear();
        StationWrite write = PlanStationWrite(station, CatalogueOf(locked, code), result.kept);
        result.diff = std::move(write.diff);
        result.refused = write.refused;
        return write.values;
    };
}

// Names on `err` a station whose write failed and rolled back.
void ReportFailure(const std::string& code, const CDBException& e, ImportTally& tally, std::ostream& err) {
    err << "station-import: станция " << code << " не записана (её изменения отменены):\n" << e.ErrorText;
    if (!e.ErrorText.empty() && e.ErrorText.back() != '\n') err << '\n';
    tally.failed.push_back(code);
}

// Reports one station planned (and, unless a dry run, written) on `out`.
void ReportStation(const std::string& code, StationResult& result, ImportTally& tally, std::vector<ImportNote>& notes,
                   std::ostream& out) {
    notes.insert(notes.end(), result.kept.begin(), result.kept.end());
    if (result.refused) {
        tally.failed.push_back(code);
        return;
    }
    ++tally.counts[static_cast<int>(result.diff.change)];
    out << code << ": " << ChangeName(result.diff.change) << '\n';
    for (const std::string& line : result.diff.lines) out << line << '\n';
}

// Stations per transaction at most, and the time a transaction takes
// stations for: other writers wait for the writer lock no longer than that.
constexpr size_t kGroupStations = 200;
constexpr std::chrono::milliseconds kGroupBudget{200};

// Writes one station alone, in its own transaction; false when the data
// source has no transactions (nothing written).
bool WriteAlone(StationStore& store, const ImportedStation& station, ImportTally& tally, std::vector<ImportNote>& notes,
                std::ostream& out, std::ostream& err) {
    const std::string& code = *station.site.STA;
    StationResult result;
    try {
        int nindex = 0;
        if (store.Write(code, LockedPlan(station, result), nindex) == StoreOutcome::NoTransaction) return false;
    } catch (const CDBException& e) {
        ReportFailure(code, e, tally, err);
        return true;
    }
    ReportStation(code, result, tally, notes, out);
    return true;
}

// Writes (or, on a dry run, only plans) each station and reports its change
// on `out`; the notes of the plans written go to `notes`. Stations are
// written in groups, each station behind a savepoint of its own in the
// group's one transaction, and reported once their group is committed: a
// station is written whole or not at all, and what the report names is
// what the database holds. A group whose transaction fails is written
// again one station at a time.
ImportTally WriteStations(CDatabase& session, std::vector<ImportedStation>& planned, const Catalogue& catalogue,
                          bool dryRun, std::vector<ImportNote>& notes, std::ostream& out, std::ostream& err) {
    ImportTally tally;
    if (dryRun) {
        for (ImportedStation& station : planned) {
            StationResult result;
            StationWrite write = PlanStationWrite(station, catalogue, result.kept);
            result.diff = std::move(write.diff);
            result.refused = write.refused;
            ReportStation(*station.site.STA, result, tally, notes, out);
        }
        return tally;
    }
    StationStore store(session);
    const auto stop = [&](const std::string& code) {
        err << "station-import: источник данных не поддерживает транзакции; станция " << code
            << " и следующие не записаны\n";
        tally.stopped = true;
    };
    for (size_t next = 0; next < planned.size();) {
        const size_t count = std::min(kGroupStations, planned.size() - next);
        std::vector<StationResult> results(count);
        std::vector<StationStore::GroupMember> members;
        for (size_t i = 0; i < count; ++i)
            members.push_back({*planned[next + i].site.STA, LockedPlan(planned[next + i], results[i])});
        std::vector<StationStore::GroupOutcome> outcomes;
        try {
            if (store.WriteGroup(members, kGroupBudget, outcomes) == StoreOutcome::NoTransaction) {
                stop(members.front().code);
                return tally;
            }
        } catch (const CDBException&) {
            // Nothing of the group was committed: its stations one by one,
            // each with its own transaction, retries and failure.
            const size_t taken = std::max<size_t>(1, outcomes.size());
            for (size_t i = 0; i < taken; ++i)
                if (!WriteAlone(store, planned[next + i], tally, notes, out, err)) {
                    stop(members[i].code);
                    return tally;
                }
            next += taken;
            continue;
        }
        for (size_t i = 0; i < outcomes.size(); ++i) {
            if (outcomes[i].refused)
                ReportFailure(members[i].code, *outcomes[i].refused, tally, err);
            else
                ReportStation(members[i].code, results[i], tally, notes, out);
        }
        next += outcomes.size();
    }
    return tally;
}

// The summary on `out`, the notes and the stations not written on `err`;
// answers the exit status.
int ReportImport(size_t plannedCount, const ImportTally& tally, bool dryRun, const std::vector<ImportNote>& notes,
                 std::ostream& out, std::ostream& err) {
    out << "Станций: " << plannedCount - tally.failed.size() << " (новых " << tally.counts[0] << ", изменённых "
        << tally.counts[1] << ", без изменений " << tally.counts[2] << ")";
    if (dryRun)
        out << ". Пробный прогон: ничего не записано.\n";
    else
        out << ", записаны в базу.\n";
    out.flush();
    for (const ImportNote& note : notes)
        err << note.station << ' ' << (note.channel.empty() ? "-" : note.channel) << ": " << note.message << '\n';
    // A station or channel refused by its code or a value is not written.
    const bool refused = std::any_of(notes.begin(), notes.end(), [](const ImportNote& n) { return n.refused; });
    if (!tally.failed.empty()) {
        err << "station-import: не записано станций: " << tally.failed.size() << " (";
        for (size_t i = 0; i < tally.failed.size(); ++i) err << (i ? " " : "") << tally.failed[i];
        err << ")\n";
        return ExitStatus::CouldNotRun;
    }
    if (!out || refused) return ExitStatus::CouldNotRun;
    return notes.empty() ? ExitStatus::Clean : ExitStatus::Findings;
}

}  // namespace

int RunStationImport(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (const auto status = AnswerInformationRequest(argc, argv, "station-import", WriteHelp, out)) return *status;
    const std::optional<ImportArguments> asked = ReadImportArguments(argc, argv, err);
    if (!asked) return ExitStatus::CouldNotRun;
    std::vector<std::string> codes;
    const std::optional<std::vector<XmlStation>> epochs = ReadImportFile(*asked, codes, err);
    if (!epochs) return ExitStatus::CouldNotRun;
    std::vector<ImportNote> notes;
    std::vector<ImportedStation> planned = PlanStations(*epochs, asked->when, codes, notes);

    const ToolSettings settings = ResolveToolSettings(asked->connection);
    std::vector<std::string> planCodes;
    for (const ImportedStation& station : planned) planCodes.push_back(*station.site.STA);
    // The stations the file names, read as stored (those not in SITE are new).
    CDatabase session;
    if (!(asked->dryRun ? OpenReadOnlySession : OpenWritableSession)(session, settings.database, err))
        return ExitStatus::CouldNotRun;
    std::optional<Catalogue> catalogue;
    try {
        catalogue = planCodes.empty() ? Catalogue() : ReadCatalogue(session, planCodes);
    } catch (const CDBException& e) {
        WriteCatalogueReadFailure(e, err);
        return ExitStatus::CouldNotRun;
    }
    const ImportTally tally = WriteStations(session, planned, *catalogue, asked->dryRun, notes, out, err);
    if (tally.stopped) return ExitStatus::CouldNotRun;
    return ReportImport(planned.size(), tally, asked->dryRun, notes, out, err);
}
