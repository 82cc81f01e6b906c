#include "tools/tool_common.h"

#include "app/config_file.h"
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

bool OpenReadOnlySession(CDatabase& session, const DatabaseChoice& database, std::ostream& err) {
    OpenRequest request;
    request.options = OpenOptions::ReadOnly | OpenOptions::NoOdbcDialog;
    request.extraKeys = "ReadOnly=1;";
    const OpenOutcome outcome = OpenChosenDatabase(session, database, request);
    if (!outcome.open) {
        err << "Не удалось подключиться к базе данных: " << outcome.failure;
        if (!outcome.failure.empty() && outcome.failure.back() != '\n') err << '\n';
    }
    return outcome.open;
}

std::optional<Catalogue> ReadCatalogueReadOnly(const DatabaseChoice& database, const std::vector<std::string>& stations,
                                               std::ostream& err) {
    CDatabase session;
    if (!OpenReadOnlySession(session, database, err)) return std::nullopt;
    std::optional<Catalogue> catalogue;
    try {
        catalogue = ReadCatalogue(session, stations);
    } catch (const CDBException& e) {
        err << "Не удалось прочитать таблицы SITE и SITECHAN:\n"
            << e.ErrorText << "(если таблицам не хватает столбцов, их добавляет station-upgrade)\n";
        return std::nullopt;
    }
    if (!catalogue->unknownStations.empty()) {
        err << "Нет в SITE:";
        for (const std::string& code : catalogue->unknownStations) err << ' ' << code;
        err << '\n';
        return std::nullopt;
    }
    return catalogue;
}
