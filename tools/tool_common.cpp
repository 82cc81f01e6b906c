#include "tools/tool_common.h"

#include "settings/config_file.h"
#include "db/session.h"
#include "station/station_code.h"

ToolSettings ResolveToolSettings(const CommandLineValues& tokens) {
    ToolSettings settings{ProfileReader(FindConfigFile()), {}};
    settings.database = ChooseDatabase(tokens, settings.profile);
    return settings;
}

std::optional<std::vector<std::string>> StationCodes(const std::vector<std::string>& arguments, const char* program,
                                                     std::ostream& err) {
    std::vector<std::string> codes;
    for (const std::string& argument : arguments) {
        std::string problem;
        const std::optional<std::string> code = CheckedStationCode(argument, problem);
        if (!code) {
            err << program << ": " << problem << '\n';
            return std::nullopt;
        }
        codes.push_back(*code);
    }
    return codes;
}

namespace {

bool OpenSession(CDatabase& session, const DatabaseChoice& database, const OpenRequest& request, std::ostream& err) {
    const OpenOutcome outcome = OpenChosenDatabase(session, database, request);
    if (!outcome.open) {
        err << "Не удалось подключиться к базе данных: " << outcome.failure;
        if (!outcome.failure.empty() && outcome.failure.back() != '\n') err << '\n';
    }
    return outcome.open;
}

}  // namespace

OpenRequest ReadOnlyOpenRequest() {
    OpenRequest request;
    request.options = OpenOptions::ReadOnly | OpenOptions::NoOdbcDialog;
    request.extraKeys = "ReadOnly=1;";
    return request;
}

bool OpenReadOnlySession(CDatabase& session, const DatabaseChoice& database, std::ostream& err) {
    return OpenSession(session, database, ReadOnlyOpenRequest(), err);
}

bool OpenWritableSession(CDatabase& session, const DatabaseChoice& database, std::ostream& err) {
    OpenRequest request;
    request.options = OpenOptions::NoOdbcDialog;
    return OpenSession(session, database, request, err);
}

void WriteCatalogueReadFailure(const CDBException& e, std::ostream& err) {
    err << "Не удалось прочитать таблицы SITE и SITECHAN:\n" << e.ErrorText;
    if (!e.ErrorText.empty() && e.ErrorText.back() != '\n') err << '\n';
    err << "(если таблицам не хватает столбцов, их добавляет station-upgrade)\n";
}

std::optional<Catalogue> ReadCatalogueReadOnly(const DatabaseChoice& database, const std::vector<std::string>& stations,
                                               std::ostream& err,
                                               const std::function<bool(CDatabase&)>& alsoRead) {
    CDatabase session;
    if (!OpenReadOnlySession(session, database, err)) return std::nullopt;
    std::optional<Catalogue> catalogue;
    try {
        catalogue = ReadCatalogue(session, stations);
    } catch (const CDBException& e) {
        WriteCatalogueReadFailure(e, err);
        return std::nullopt;
    }
    if (!catalogue->unknownStations.empty()) {
        err << "Нет в SITE:";
        for (const std::string& code : catalogue->unknownStations) err << ' ' << code;
        err << '\n';
        return std::nullopt;
    }
    if (alsoRead && !alsoRead(session)) return std::nullopt;
    return catalogue;
}
