#pragma once
// The application object: start-up, the shared session and the modal form.

#include <memory>
#include <string>

#include "settings/command_line.h"
#include "settings/connection_settings.h"
#include "app/personal_database.h"
#include "db/session.h"
#include "db/session_pool.h"
#include "platform/dialog_port.h"
#include "platform/profile_reader.h"

// Reads the command line and the configuration, opens the shared session,
// upgrades the schema, hands the session's connection to the operations'
// pool, runs the station form and closes every session.
class CStationApp {
public:
    // `personal` is the database a start works on when no zrn.ini was found,
    // no ODBC= was given and the default data source is not defined.
    CStationApp(platform::DialogPort& port, std::string commandLine, ProfileReader profile,
                SessionFactory openSession = DefaultSessionFactory(),
                PersonalDatabase personal = DefaultPersonalDatabase());

    // Runs the whole program; answers false, which ends the process.
    bool StartUp();
    // The process's exit status after StartUp: 1 when the database could not
    // be opened, 0 after the form was closed.
    int ExitStatus() const { return exitStatus_; }

    const std::string& StartStationCode() const { return startStationCode_; }
    const CommandLineValues& CommandLine() const { return commandLineValues_; }
    const ConnectionSettings& Settings() const { return settings_; }
    const std::string& ConnectString() const { return connectString_; }

    // Fills the settings and opens the shared session; on failure shows the
    // connect string (password masked), the driver's text and the zrn.ini
    // read, answers false. Without zrn.ini and ODBC=, a data source that does
    // not exist gives way to the personal database, created (and announced)
    // at its first use (OpenChosenDatabase, shared with the other programs).
    bool OpenSharedSession();
    void CloseSharedSession() { sharedSession_->Close(); }
    CDatabase& SharedSession() { return *sharedSession_; }

private:
    platform::DialogPort& port_;
    std::string commandLine_;
    ProfileReader profile_;
    SessionFactory openSession_;
    PersonalDatabase personal_;
    std::string startStationCode_;
    CommandLineValues commandLineValues_;
    ConnectionSettings settings_;
    std::string connectString_;
    std::unique_ptr<CDatabase> sharedSession_;
    int exitStatus_ = 0;
    // The operations' kept connections, apart from the shared session;
    // closed when the application object goes.
    SessionPool pool_;
};
