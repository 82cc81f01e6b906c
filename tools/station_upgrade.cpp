// station-upgrade: brings a station database to the program's schema, as the
// editor does at every start, but without a window: each failure goes to
// stderr. Exit status 0 when every column was applied, 1 otherwise (the
// database could not be opened included), 2 on a wrong command line.
//
//   station-upgrade                       the editor's database
//   station-upgrade ODBC=ZRN USER=op PASSWORD=secret
//   station-upgrade "DSN=ZRN;UID=ZRN;PWD=PJQ;"

#include <iostream>
#include <string>

#include "settings/command_line.h"
#include "settings/config_file.h"
#include "settings/database_choice.h"
#include "settings/program_start.h"
#include "db/schema_upgrade.h"
#include "db/session.h"
#include "platform/profile_reader.h"
#include "resources/string_table.h"
#include "station/station_journal.h"

namespace {

void WriteHelp(std::ostream& out) {
    out << "Использование: station-upgrade [ODBC=dsn] [USER=u] [PASSWORD=p]\n"
           "               station-upgrade СТРОКА-ПОДКЛЮЧЕНИЯ   (например \"DSN=ZRN;UID=ZRN;PWD=PJQ;\")\n"
           "\n"
           "Приводит таблицы SITE, SITECHAN, FILELIST, ORIGIN и ARRIVAL к схеме программы (добавляет\n"
           "недостающие столбцы), как station-editor при каждом запуске, но без окна.\n"
           "Со строкой подключения работает с базой данных, которую она называет; иначе:\n";
    WriteDatabaseHelp(out);
    out << "Личную базу данных station-upgrade не создаёт, только находит.\n"
           "\n"
           "  --help      эта справка\n"
           "  --version   версия программы\n"
           "\n"
           "Код выхода: 0 все столбцы на месте, 1 не все или базу данных открыть не удалось,\n"
           "2 неверная командная строка.\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto status = AnswerInformationRequest(argc, argv, "station-upgrade", WriteHelp, std::cout)) return *status;
    KeepUserDataSourceFileUncreated();
    const ProgramArguments arguments = SplitProgramArguments(argc, argv);
    DatabaseChoice database;
    if (arguments.others.empty()) {
        database = ChooseDatabase(arguments.connection, ProfileReader(FindConfigFile()));
    } else if (arguments.others.size() == 1 && !arguments.others[0].empty() && arguments.others[0][0] != '-') {
        // A connect string names its database itself.
        database.connectString = arguments.others[0];
        database.namedByConnectString = true;
    } else {
        std::cerr << "station-upgrade: неверные аргументы (справка: station-upgrade --help)\n";
        return 2;
    }
    CDatabase session;
    // The same options as the editor's sessions; the driver manager has no
    // completion dialog here, so a connect string that lacks details simply
    // fails.
    OpenRequest request;
    request.options = OpenOptions::UseCursorLibrary | OpenOptions::NoOdbcDialog;
    const OpenOutcome outcome = OpenChosenDatabase(session, database, request);
    if (!outcome.open) {
        std::cerr << "Не удалось подключиться к базе данных: " << outcome.failure;
        if (!outcome.failure.empty() && outcome.failure.back() != '\n') std::cerr << '\n';
        return 1;
    }
    int failures = 0;
    UpgradeSchema(session, [&failures](const ColumnUpgradeFailure& failure) {
        ++failures;
        const std::string message = ColumnUpgradeFailureText(failure.Table, failure.Column, failure.ErrorText);
        std::cerr << message;
        if (message.empty() || message.back() != '\n') std::cerr << '\n';
    });
    if (const JournalState journal = EnsureJournalTable(session); !journal.available) {
        ++failures;
        std::cerr << "Таблицу журнала STATION_JOURNAL создать не удалось: " << journal.reason << '\n';
    }
    session.Close();
    if (failures > 0) {
        std::cerr << "Не удалось применить столбцов схемы: " << failures << '\n';
        return 1;
    }
    return 0;
}
