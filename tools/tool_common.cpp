#include "tools/tool_common.h"

#include "app/config_file.h"
#include "app/connection_settings.h"
#include "db/session.h"
#include "platform/text.h"

ToolSettings ResolveToolSettings(const CommandLineValues& tokens) {
    ToolSettings settings{ProfileReader(FindConfigFile()), {}};
    settings.connect = ResolveConnectString(tokens, settings.profile);
    return settings;
}

std::vector<std::string> StationCodes(const std::vector<std::string>& arguments) {
    std::vector<std::string> codes;
    for (const std::string& argument : arguments) codes.push_back(text::ToUpper(argument));
    return codes;
}

bool OpenReadOnlySession(CDatabase& session, const std::string& connect, std::ostream& err) {
    std::string readOnly = connect;
    if (!readOnly.empty() && readOnly.back() != ';') readOnly += ';';
    readOnly += "ReadOnly=1;";
    try {
        if (session.Open(readOnly, OpenOptions::ReadOnly | OpenOptions::NoOdbcDialog)) return true;
        err << "Не удалось подключиться к базе данных: " << MaskPassword(connect) << "\nсоединение не завершено\n";
    } catch (const CDBException& e) {
        err << "Не удалось подключиться к базе данных: " << MaskPassword(connect) << "\n" << e.ErrorText;
    }
    return false;
}

std::optional<Catalogue> ReadCatalogueReadOnly(const std::string& connect, const std::vector<std::string>& stations,
                                               std::ostream& err) {
    CDatabase session;
    if (!OpenReadOnlySession(session, connect, err)) return std::nullopt;
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
