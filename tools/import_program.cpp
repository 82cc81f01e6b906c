#include "tools/import_program.h"

#include <QFile>

#include <algorithm>
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
           "Каждая станция пишется одной транзакцией через сохранение формы.\n";
}

// --at: "YYYY-MM-DD" or a StationXML time (UTC when it names no zone).
std::optional<std::time_t> AtTime(const std::string& text) {
    if (text.size() == 10) return ParseXmlTime(text + "T00:00:00");
    return ParseXmlTime(text);
}

}  // namespace

int RunStationImport(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (const auto status = AnswerInformationRequest(argc, argv, "station-import", WriteHelp, out)) return *status;
    const ProgramArguments arguments = SplitProgramArguments(argc, argv);
    std::string file;
    std::optional<std::string> at;
    bool dryRun = false;
    std::vector<std::string> stations;
    const std::vector<std::string>& args = arguments.others;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--dry-run") {
            dryRun = true;
        } else if (arg == "--stationxml" || arg == "--at") {
            if (++i == args.size()) {
                err << "station-import: после " << arg << " нужно значение\n";
                return ExitStatus::CouldNotRun;
            }
            if (arg == "--at")
                at = args[i];
            else
                file = args[i];
        } else if (!arg.empty() && arg[0] == '-') {
            err << "station-import: неизвестный параметр '" << arg << "' (справка: station-import --help)\n";
            return ExitStatus::CouldNotRun;
        } else {
            stations.push_back(arg);
        }
    }
    if (file.empty()) {
        err << "station-import: укажите файл: --stationxml FILE (справка: station-import --help)\n";
        return ExitStatus::CouldNotRun;
    }
    std::time_t when = std::time(nullptr);
    if (at) {
        const std::optional<std::time_t> parsed = AtTime(*at);
        if (!parsed) {
            err << "station-import: --at '" << *at << "' не является временем (YYYY-MM-DD или YYYY-MM-DDThh:mm:ss)\n";
            return ExitStatus::CouldNotRun;
        }
        when = *parsed;
    }

    QFile input(QString::fromStdString(file));
    if (!input.open(QIODevice::ReadOnly)) {
        err << "station-import: не удалось открыть " << file << ": " << input.errorString().toStdString() << '\n';
        return ExitStatus::CouldNotRun;
    }
    const std::optional<std::vector<std::string>> listed = StationCodes(stations, "station-import", err);
    if (!listed) return ExitStatus::CouldNotRun;
    const std::vector<std::string>& codes = *listed;
    std::string error;
    const std::optional<std::vector<XmlStation>> epochs =
        ReadStationXml(input, std::set<std::string>(codes.begin(), codes.end()), error);
    if (!epochs) {
        err << "station-import: " << file << " не является правильным StationXML (" << error
            << "); ничего не записано\n";
        return ExitStatus::CouldNotRun;
    }
    std::vector<ImportNote> notes;
    std::vector<ImportedStation> planned = PlanImport(*epochs, when, notes);
    for (const std::string& code : codes)
        if (std::none_of(epochs->begin(), epochs->end(), [&](const XmlStation& e) { return e.code == code; }))
            notes.push_back({code, {}, "станции нет в файле"});

    const ToolSettings settings = ResolveToolSettings(arguments.connection);
    std::vector<std::string> planCodes;
    for (const ImportedStation& station : planned) planCodes.push_back(*station.site.STA);
    // The stations the file names, read as stored (those not in SITE are new).
    CDatabase session;
    if (!(dryRun ? OpenReadOnlySession : OpenWritableSession)(session, settings.database, err))
        return ExitStatus::CouldNotRun;
    std::optional<Catalogue> catalogue;
    try {
        catalogue = planCodes.empty() ? Catalogue() : ReadCatalogue(session, planCodes);
    } catch (const CDBException& e) {
        WriteCatalogueReadFailure(e, err);
        return ExitStatus::CouldNotRun;
    }

    size_t counts[3] = {0, 0, 0};
    std::vector<std::string> failed;
    StationStore store(session);
    for (ImportedStation& station : planned) {
        const std::string& code = *station.site.STA;
        StationDiff diff;
        std::vector<ImportNote> kept;  // the notes of the plan that was written
        bool refused = false;          // a new station without its place: not written
        if (dryRun) {
            StationWrite write = PlanStationWrite(station, *catalogue, kept);
            diff = std::move(write.diff);
            refused = write.refused;
        } else {
            // Each station in its own transaction through the station store,
            // planned again from the station as read under its lock: what
            // another writer committed before is kept where the file has no
            // value for it, and the report says what was written.
            try {
                int nindex = 0;
                const StoreOutcome saved = store.Write(
                    code,
                    [&](const StationSnapshot& locked) {
                        kept.clear();
                        StationWrite write = PlanStationWrite(station, CatalogueOf(locked, code), kept);
                        diff = std::move(write.diff);
                        refused = write.refused;
                        return write.values;
                    },
                    nindex);
                if (saved == StoreOutcome::NoTransaction) {
                    err << "station-import: источник данных не поддерживает транзакции; станция " << code
                        << " и следующие не записаны\n";
                    return ExitStatus::CouldNotRun;
                }
            } catch (const CDBException& e) {
                err << "station-import: станция " << code << " не записана (её изменения отменены):\n" << e.ErrorText;
                if (!e.ErrorText.empty() && e.ErrorText.back() != '\n') err << '\n';
                failed.push_back(code);
                continue;
            }
        }
        notes.insert(notes.end(), kept.begin(), kept.end());
        if (refused) {
            failed.push_back(code);
            continue;
        }
        ++counts[static_cast<int>(diff.change)];
        out << code << ": " << ChangeName(diff.change) << '\n';
        for (const std::string& line : diff.lines) out << line << '\n';
    }
    out << "Станций: " << planned.size() - failed.size() << " (новых " << counts[0] << ", изменённых " << counts[1]
        << ", без изменений " << counts[2] << ")";
    if (dryRun)
        out << ". Пробный прогон: ничего не записано.\n";
    else
        out << ", записаны в базу.\n";
    out.flush();
    for (const ImportNote& note : notes)
        err << note.station << ' ' << (note.channel.empty() ? "-" : note.channel) << ": " << note.message << '\n';
    // A station or channel refused by its code or a value is not written.
    const bool refused = std::any_of(notes.begin(), notes.end(), [](const ImportNote& n) { return n.refused; });
    if (!failed.empty()) {
        err << "station-import: не записано станций: " << failed.size() << " (";
        for (size_t i = 0; i < failed.size(); ++i) err << (i ? " " : "") << failed[i];
        err << ")\n";
        return ExitStatus::CouldNotRun;
    }
    if (!out || refused) return ExitStatus::CouldNotRun;
    return notes.empty() ? ExitStatus::Clean : ExitStatus::Findings;
}
