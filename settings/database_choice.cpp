#include "settings/database_choice.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "settings/driver_packages.h"
#include "db/db_exception.h"
#include "db/session.h"
#include "platform/profile_reader.h"
#include "resources/string_table.h"

namespace fs = std::filesystem;

std::string PersonalDatabasePath() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return std::string(xdg) + "/station-editor/zrn.sqlite";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/station-editor/zrn.sqlite";
    return {};
}

DatabaseChoice ChooseDatabase(const CommandLineValues& commandLine, const ProfileReader& profile,
                              const std::string& personalPath) {
    DatabaseChoice choice;
    choice.settings = ResolveConnectionSettings(commandLine, profile);
    choice.connectString = BuildConnectString(choice.settings);
    choice.configPath = profile.Path();
    if (profile.Path().empty() && commandLine.DataSource.empty()) choice.personalPath = personalPath;
    return choice;
}

std::string SqliteConnectString(const std::string& path) { return "DRIVER=SQLite3;Database=" + ConnectStringValue(path) + ";"; }

bool IsUnknownDataSource(const CDBException& e) { return e.HasState("IM002"); }

namespace {

// The report of a failed open: the database tried, the reason, and what the
// user needs to find the settings that named it.
std::string Report(const DatabaseChoice& choice, const std::string& connectString, const std::string& reason,
                   const std::string& extra = {}) {
    std::string text = MaskPassword(connectString) + "\n" + reason;
    const auto line = [&text](const std::string& more) {
        if (more.empty()) return;
        if (!text.empty() && text.back() != '\n') text += '\n';
        text += more;
    };
    line(extra);
    std::error_code ec;
    if (choice.namedByConnectString)
        return text;
    if (choice.configPath.empty())
        line(LoadString(str::ConfigNotFound));
    else if (!fs::exists(choice.configPath, ec))
        line(FormatString(str::ConfigFileMissing, choice.configPath));
    else if (const std::string problem = ProfileReader(choice.configPath).ReadProblem(); !problem.empty())
        line(FormatString(str::ConfigFileUnreadable, choice.configPath, problem));
    else
        line(FormatString(str::ConfigFileRead, choice.configPath));
    return text;
}

// Lines joined by line feeds, the empty ones left out.
std::string Lines(const std::string& first, const std::string& second) {
    if (first.empty() || second.empty()) return first + second;
    return first + "\n" + second;
}

// One connect. Answers true when open; otherwise outcome.failure tells why,
// and `refusal` holds the driver's error when there was one.
bool Attempt(CDatabase& session, const DatabaseChoice& choice, const std::string& connectString,
             const OpenRequest& request, OpenOutcome& outcome, std::optional<CDBException>& refusal) {
    outcome.connectString = connectString;
    refusal.reset();
    try {
        if (session.Open(connectString + request.extraKeys, request.options)) return outcome.open = true;
        // The driver ended the connect without a connection and without an
        // error: nothing can run on a closed session.
        outcome.failure = Report(choice, connectString, LoadString(str::DatabaseInitError));
    } catch (const CDBException& e) {
        refusal = e;
        outcome.failure = Report(choice, connectString, e.ErrorText, MissingDriverHint(connectString, e));
    }
    return false;
}

}  // namespace

OpenOutcome OpenChosenDatabase(CDatabase& session, const DatabaseChoice& choice, const OpenRequest& request) {
    OpenOutcome outcome;
    std::optional<CDBException> refusal;
    if (Attempt(session, choice, choice.connectString, request, outcome, refusal)) return outcome;
    if (choice.personalPath.empty() || !refusal || !IsUnknownDataSource(*refusal)) return outcome;

    // The data source is not defined and nothing else names a database: the
    // personal database stands in, if it exists or may be created here.
    std::error_code ec;
    if (!request.createPersonal && !fs::exists(choice.personalPath, ec)) {
        outcome.failure = Report(choice, choice.connectString, refusal->ErrorText,
                                 Lines(MissingDriverHint(choice.connectString, *refusal),
                                       FormatString(str::PersonalDatabaseMissing, choice.personalPath)));
        return outcome;
    }
    outcome.personal = true;
    const std::string personal = SqliteConnectString(choice.personalPath);
    try {
        if (request.createPersonal) outcome.createdPersonal = request.createPersonal(choice.personalPath);
    } catch (const CDBException& e) {
        outcome.connectString = personal;
        outcome.failure = Report(choice, personal, e.ErrorText, MissingDriverHint(personal, e));
        return outcome;
    } catch (const std::runtime_error& e) {
        outcome.connectString = personal;
        outcome.failure = Report(choice, personal, e.what());
        return outcome;
    }
    Attempt(session, choice, personal, request, outcome, refusal);
    return outcome;
}
