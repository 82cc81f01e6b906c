#include "tools/check_program.h"

#include <sstream>

#include "db/schema_upgrade.h"
#include "db/session.h"
#include "settings/program_start.h"
#include "tools/check_output.h"
#include "tools/check_rules.h"
#include "tools/tool_common.h"

namespace {

void WriteHelp(std::ostream& out) {
    out << "Использование: station-check [STA...] [ODBC=dsn] [USER=u] [PASSWORD=p] [--format text|json]\n"
           "\n"
           "Проверяет каталог станций (таблицы SITE и SITECHAN): все станции или перечисленные.\n"
           "Ничего не записывает в базу: сеанс только для чтения, только запросы SELECT.\n"
           "Файлы откликов ищутся в папке RESPONSE под [ZRN] DIR из zrn.ini.\n";
    WriteDatabaseHelp(out);
    out << "\n"
           "  --format text   строка на замечание: станция, канал, важность, правило, сообщение (по умолчанию)\n"
           "  --format json   то же в JSON\n"
           "  --help          эта справка\n"
           "  --version       версия программы\n"
           "\n"
           "Правила:\n";
    for (const CheckRule& rule : CheckRules())
        out << "  " << rule.name << " (" << SeverityName(rule.severity) << "): " << rule.description << '\n';
    out << "\nКод выхода: 0 замечаний нет, 1 есть замечания, 2 проверка не выполнена.\n";
}

// Says on `err` when the database keeps no journal of station changes: not
// a finding on the catalogue's rows, so the exit status stays theirs.
void WriteJournalNote(const DatabaseChoice& database, std::ostream& err) {
    CDatabase session;
    std::ostringstream ignored;
    if (!OpenReadOnlySession(session, database, ignored)) return;
    if (!ColumnExists(session, "STATION_JOURNAL", "ID"))
        err << "station-check: журнал изменений не ведётся: в базе данных нет таблицы STATION_JOURNAL "
               "(её создают station-editor при запуске и station-upgrade)\n";
}

}  // namespace

int RunStationCheck(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (const auto status = AnswerInformationRequest(argc, argv, "station-check", WriteHelp, out)) return *status;
    const ProgramArguments arguments = SplitProgramArguments(argc, argv);
    bool json = false;
    std::vector<std::string> stations;
    for (size_t i = 0; i < arguments.others.size(); ++i) {
        const std::string& arg = arguments.others[i];
        if (arg == "--format" || arg.rfind("--format=", 0) == 0) {
            std::string format;
            if (arg == "--format") {
                if (++i == arguments.others.size()) {
                    err << "station-check: после --format нужно text или json\n";
                    return ExitStatus::CouldNotRun;
                }
                format = arguments.others[i];
            } else {
                format = arg.substr(9);
            }
            if (format != "text" && format != "json") {
                err << "station-check: неизвестный формат '" << format << "' (text или json)\n";
                return ExitStatus::CouldNotRun;
            }
            json = format == "json";
        } else if (!arg.empty() && arg[0] == '-') {
            err << "station-check: неизвестный параметр '" << arg << "' (справка: station-check --help)\n";
            return ExitStatus::CouldNotRun;
        } else {
            stations.push_back(arg);
        }
    }

    const ToolSettings settings = ResolveToolSettings(arguments.connection);
    const std::optional<std::vector<std::string>> codes = StationCodes(stations, "station-check", err);
    if (!codes) return ExitStatus::CouldNotRun;
    const std::optional<Catalogue> catalogue = ReadCatalogueReadOnly(settings.database, *codes, err);
    if (!catalogue) return ExitStatus::CouldNotRun;

    WriteJournalNote(settings.database, err);
    const CheckContext context{ResponseFolder(&settings.profile)};
    const std::vector<Finding> findings = CheckCatalogue(*catalogue, context);
    const CheckSummary summary{catalogue->sites.size(), catalogue->channels.size()};
    if (json)
        out << FindingsJson(findings, summary);
    else
        WriteFindingsText(out, findings, summary);
    out.flush();
    if (!out) {
        err << "station-check: не удалось вывести результат\n";
        return ExitStatus::CouldNotRun;
    }
    return findings.empty() ? ExitStatus::Clean : ExitStatus::Findings;
}
