#include "tools/journal_programs.h"

#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "settings/program_start.h"
#include "db/session.h"
#include "station/journal_text.h"
#include "station/station_journal.h"
#include "station/station_restore.h"
#include "tools/tool_common.h"

namespace {

void WriteHistoryHelp(std::ostream& out) {
    out << "Использование: station-history [STA...] [--since ВРЕМЯ] [--until ВРЕМЯ] [--json]\n"
           "                       [ODBC=dsn] [USER=u] [PASSWORD=p]\n"
           "\n"
           "Показывает журнал изменений станций (таблица STATION_JOURNAL), новые записи первыми:\n"
           "время (UTC), пользователь@компьютер, программа, действие, причина и изменённые поля\n"
           "(старое -> новое) с подписями формы; Z/N/E — компоненты каналов. Изменение, сделанное\n"
           "в обход station-editor, показано строкой «вне station-editor». Без кода станции —\n"
           "изменения всего каталога. Ничего не записывает в базу.\n";
    WriteDatabaseHelp(out);
    out << "\n"
           "  --since ВРЕМЯ   записи не раньше ВРЕМЕНИ (ГГГГ-ММ-ДД[ ЧЧ:ММ[:СС]], UTC)\n"
           "  --until ВРЕМЯ   записи не позже ВРЕМЕНИ (дата без времени — до конца дня)\n"
           "  --json          то же в JSON, с именами столбцов\n"
           "  --help          эта справка\n"
           "  --version       версия программы\n"
           "\n"
           "Код выхода: 0 журнал показан, 2 показать не удалось.\n";
}

void WriteRestoreHelp(std::ostream& out) {
    out << "Использование: station-restore STA (--before N | --at ВРЕМЯ) [--reason ТЕКСТ] [--dry-run]\n"
           "                       [ODBC=dsn] [USER=u] [PASSWORD=p]\n"
           "\n"
           "Возвращает станцию (строку SITE и все её строки SITECHAN) в состояние до записи N журнала\n"
           "(см. station-history) или на момент ВРЕМЯ (UTC), в том числе удалённую станцию.\n"
           "Восстановление само записывается в журнал; его можно отменить следующим восстановлением.\n";
    WriteDatabaseHelp(out);
    out << "\n"
           "  --before N      состояние до записи журнала с номером N\n"
           "  --at ВРЕМЯ      состояние на ВРЕМЯ (ГГГГ-ММ-ДД[ ЧЧ:ММ[:СС]], UTC)\n"
           "  --reason ТЕКСТ  причина, записываемая в журнал\n"
           "  --dry-run       только показать, что изменится; ничего не записывать\n"
           "  --help          эта справка\n"
           "  --version       версия программы\n"
           "\n"
           "Код выхода: 0 станция восстановлена (или уже такова), 1 станцию изменили во время\n"
           "восстановления и ничего не записано, 2 восстановить не удалось.\n";
}

// The value after an option, or nullopt with the message written.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i, const char* program,
                                       std::ostream& err) {
    if (i + 1 >= args.size()) {
        err << program << ": после " << args[i] << " нужно значение\n";
        return std::nullopt;
    }
    return args[++i];
}

std::optional<std::string> TimeOption(const std::string& given, bool endOfRange, const char* program,
                                      std::ostream& err) {
    std::optional<std::string> time = JournalTime(given, endOfRange);
    if (!time) err << program << ": время '" << given << "' не в виде ГГГГ-ММ-ДД[ ЧЧ:ММ[:СС]]\n";
    return time;
}

// Whether the database keeps the journal; says so on `err` when not.
bool JournalKept(CDatabase& session, const char* program, std::ostream& err) {
    if (JournalAvailable(session)) return true;
    err << program << ": журнал изменений не ведётся: в базе данных нет таблицы STATION_JOURNAL "
                      "(её создают station-editor при запуске и station-upgrade)\n";
    return false;
}

}  // namespace

int RunStationHistory(int argc, char** argv, std::ostream& out, std::ostream& err) {
    const char* const program = "station-history";
    if (const auto status = AnswerInformationRequest(argc, argv, program, WriteHistoryHelp, out)) return *status;
    const ProgramArguments arguments = SplitProgramArguments(argc, argv);
    const std::vector<std::string>& args = arguments.others;
    JournalQuery query;
    bool json = false;
    std::vector<std::string> stations;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--since" || args[i] == "--until") {
            const bool until = args[i] == "--until";
            const std::optional<std::string> value = OptionValue(args, i, program, err);
            if (!value) return ExitStatus::CouldNotRun;
            std::optional<std::string> time = TimeOption(*value, until, program, err);
            if (!time) return ExitStatus::CouldNotRun;
            (until ? query.until : query.since) = std::move(time);
        } else if (!args[i].empty() && args[i][0] == '-') {
            err << program << ": неизвестный параметр '" << args[i] << "' (справка: station-history --help)\n";
            return ExitStatus::CouldNotRun;
        } else {
            stations.push_back(args[i]);
        }
    }
    const std::optional<std::vector<std::string>> codes = StationCodes(stations, program, err);
    if (!codes) return ExitStatus::CouldNotRun;
    query.codes = *codes;
    const ToolSettings settings = ResolveToolSettings(arguments.connection);
    CDatabase session;
    if (!OpenReadOnlySession(session, settings.database, err)) return ExitStatus::CouldNotRun;
    if (!JournalKept(session, program, err)) return ExitStatus::CouldNotRun;
    std::vector<HistoryItem> items;
    try {
        items = HistoryOf(ReadJournal(session, query));
    } catch (const std::exception& e) {
        err << program << ": журнал прочитать не удалось: " << e.what() << '\n';
        return ExitStatus::CouldNotRun;
    }
    if (json) {
        out << HistoryJson(items);
    } else {
        for (std::size_t i = 0; i < items.size(); ++i) out << (i > 0 ? "\n" : "") << HistoryText(items[i]);
        if (items.empty()) out << "Записей в журнале нет.\n";
    }
    out.flush();
    if (!out) {
        err << program << ": не удалось вывести результат\n";
        return ExitStatus::CouldNotRun;
    }
    return ExitStatus::Clean;
}

int RunStationRestore(int argc, char** argv, std::ostream& out, std::ostream& err) {
    const char* const program = "station-restore";
    if (const auto status = AnswerInformationRequest(argc, argv, program, WriteRestoreHelp, out)) return *status;
    const ProgramArguments arguments = SplitProgramArguments(argc, argv);
    const std::vector<std::string>& args = arguments.others;
    std::optional<std::int64_t> before;
    std::optional<std::string> at;
    std::string reason;
    bool dryRun = false;
    std::vector<std::string> stations;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--dry-run") {
            dryRun = true;
        } else if (arg == "--before" || arg == "--at" || arg == "--reason") {
            const std::optional<std::string> value = OptionValue(args, i, program, err);
            if (!value) return ExitStatus::CouldNotRun;
            if (arg == "--reason") {
                reason = *value;
            } else if (arg == "--at") {
                at = TimeOption(*value, false, program, err);
                if (!at) return ExitStatus::CouldNotRun;
            } else {
                std::int64_t id = 0;
                const auto parsed = std::from_chars(value->data(), value->data() + value->size(), id);
                if (parsed.ec != std::errc() || parsed.ptr != value->data() + value->size() || id <= 0) {
                    err << program << ": номер записи '" << *value << "' не целое положительное число\n";
                    return ExitStatus::CouldNotRun;
                }
                before = id;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            err << program << ": неизвестный параметр '" << arg << "' (справка: station-restore --help)\n";
            return ExitStatus::CouldNotRun;
        } else {
            stations.push_back(arg);
        }
    }
    if (stations.size() != 1 || before.has_value() == at.has_value()) {
        err << program << ": нужны код одной станции и одно из --before N или --at ВРЕМЯ "
                          "(справка: station-restore --help)\n";
        return ExitStatus::CouldNotRun;
    }
    const std::optional<std::vector<std::string>> codes = StationCodes(stations, program, err);
    if (!codes) return ExitStatus::CouldNotRun;
    const std::string& code = codes->front();
    const ToolSettings settings = ResolveToolSettings(arguments.connection);
    CDatabase session;
    if (!(dryRun ? OpenReadOnlySession : OpenWritableSession)(session, settings.database, err))
        return ExitStatus::CouldNotRun;
    if (!JournalKept(session, program, err)) return ExitStatus::CouldNotRun;
    try {
        if (at) {
            before = FirstEntryAfter(session, code, *at);
            if (!before) {
                out << code << ": после " << *at << " станция в журнале не менялась; восстанавливать нечего.\n";
                return ExitStatus::Clean;
            }
        }
        // Nobody is asked: a station changed between the reading shown and
        // the lock is left as it is.
        const RestoreResult result =
            RestoreStation(session, code, *before, reason, [](const std::string&) { return false; }, dryRun);
        if (result.differences.empty()) {
            out << code << ": станция уже в этом состоянии; ничего не записано.\n";
            return ExitStatus::Clean;
        }
        out << code << (dryRun ? ": будет восстановлено состояние до записи " : ": состояние до записи ") << *before
            << (dryRun ? "" : " восстановлено") << ":\n";
        for (const std::string& line : result.differences) out << line << '\n';
        if (result.outcome == StoreOutcome::Cancelled) {
            err << program << ": станцию " << code << " изменили во время восстановления; ничего не записано. "
                << "Посмотрите station-history и повторите.\n";
            return ExitStatus::Findings;
        }
        if (result.outcome == StoreOutcome::NoTransaction) {
            err << program << ": источник данных не поддерживает транзакции; ничего не записано.\n";
            return ExitStatus::CouldNotRun;
        }
        if (!dryRun)
            out << "Запись журнала: " << (result.entry ? std::to_string(*result.entry) : std::string("нет")) << '\n';
    } catch (const std::exception& e) {
        err << program << ": " << e.what() << '\n';
        return ExitStatus::CouldNotRun;
    }
    out.flush();
    return out ? ExitStatus::Clean : ExitStatus::CouldNotRun;
}
