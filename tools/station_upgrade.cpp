// station-upgrade: brings a station database to the program's schema, as the
// editor does at every start, but without a window: each failure goes to
// stderr. Exit status 0 when every column was applied, 1 otherwise, 2 on a
// wrong command line.
//
//   station-upgrade "DSN=ZRN;UID=ZRN;PWD=PJQ;"

#include <cstdio>
#include <iostream>
#include <string>

#include "db/schema_upgrade.h"
#include "db/session.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]).empty()) {
        std::cerr << "usage: station-upgrade CONNECT-STRING   (e.g. \"DSN=ZRN;UID=ZRN;PWD=PJQ;\")\n";
        return 2;
    }
    const std::string connect = argv[1];
    CDatabase session;
    try {
        // The same options as the editor's sessions; the driver manager has
        // no completion dialog here, so a connect string that lacks details
        // simply fails.
        if (!session.Open(connect, OpenOptions::UseCursorLibrary | OpenOptions::NoOdbcDialog)) {
            std::cerr << MaskPassword(connect) << "\nthe connection was not completed\n";
            return 1;
        }
    } catch (const CDBException& e) {
        std::cerr << MaskPassword(connect) << "\n" << e.ErrorText;
        return 1;
    }
    int failures = 0;
    UpgradeSchema(session, [&failures](const std::string& message) {
        ++failures;
        std::cerr << message;
        if (message.empty() || message.back() != '\n') std::cerr << '\n';
    });
    session.Close();
    if (failures > 0) {
        std::cerr << failures << " schema column(s) could not be applied\n";
        return 1;
    }
    return 0;
}
