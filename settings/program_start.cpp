#include "settings/program_start.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "station/program_identity.h"

#ifndef SE_VERSION
#error "SE_VERSION must give the project's version"
#endif

std::optional<int> AnswerInformationRequest(int argc, char** argv, const std::string& program,
                                            const std::function<void(std::ostream&)>& writeHelp, std::ostream& out) {
    // Every program passes here first: what it journals names it.
    SetProgramIdentity(program, ProgramVersion());
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            writeHelp(out);
        } else if (arg == "--version") {
            out << program << ", версия " << ProgramVersion() << '\n';
        } else {
            continue;
        }
        out.flush();
        return 0;
    }
    return std::nullopt;
}

const char* ProgramVersion() { return SE_VERSION; }

void WriteDatabaseHelp(std::ostream& out) {
    out << "Подключение: ODBC=, USER=, PASSWORD= из командной строки, иначе из zrn.ini\n"
           "([DATABASE] ODBC, USER, PASSWORD), иначе ZRN, ZRN, PJQ. zrn.ini берётся из переменной\n"
           "ZRN_INI, иначе первый найденный из ./zrn.ini, $XDG_CONFIG_HOME/zrn.ini (~/.config/zrn.ini),\n"
           "/etc/zrn.ini. Если zrn.ini нет, ODBC= не дано и источник данных ZRN не описан, работа идёт\n"
           "с личной базой данных $XDG_DATA_HOME/station-editor/zrn.sqlite\n"
           "(~/.local/share/station-editor/zrn.sqlite), которую создаёт первый запуск station-editor.\n";
}

void KeepUserDataSourceFileUncreated(const std::string& accountHome) {
    std::string file;
    if (const char* named = std::getenv("ODBCINI"); named && *named)
        file = named;
    else if (!accountHome.empty())
        file = accountHome + "/.odbc.ini";
    else
        return;
    std::error_code ec;
    if (std::filesystem::exists(file, ec) || ec) return;
    setenv("ODBCINI", "/dev/null", 1);
}

void KeepUserDataSourceFileUncreated() {
    // The driver manager takes the home folder from the account, not from HOME.
    const passwd* account = getpwuid(getuid());
    KeepUserDataSourceFileUncreated(account && account->pw_dir ? account->pw_dir : "");
}
