#include "app/station_app.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "db/schema_upgrade.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"

CStationApp::CStationApp(platform::DialogPort& port, std::string commandLine, ProfileReader profile,
                         SessionFactory openSession, PersonalDatabase personal)
    : port_(port),
      commandLine_(std::move(commandLine)),
      profile_(std::move(profile)),
      openSession_(std::move(openSession)),
      personal_(std::move(personal)),
      sharedSession_(openSession_()),
      pool_(openSession_) {}

bool CStationApp::StartUp() {
    if (!commandLine_.empty()) {
        ParseStationCode(commandLine_, startStationCode_);
        commandLineValues_ = ParseCommandLine(commandLine_);
    }
    if (!OpenSharedSession()) return false;

    UpgradeSchema(*sharedSession_, [this](const std::string& message) {
        port_.MessageBox(message, {}, platform::Buttons::Ok, platform::Icon::Stop);
    });

    FormEnvironment env;
    env.startStationCode = startStationCode_;
    env.connectString = [this] { return ConnectString(); };
    env.openSession = openSession_;
    env.pool = &pool_;
    env.profile = &profile_;
    {
        CStationDlg form(port_, std::move(env));
        form.DoModal();
        pool_.Clear();
        CloseSharedSession();
    }
    return false;
}

namespace {

// The driver manager's state for a data source name it does not know.
bool IsUnknownDataSource(const CDBException& e) { return e.HasState("IM002"); }

}  // namespace

bool CStationApp::OpenSharedSession() {
    settings_ = ResolveConnectionSettings(commandLineValues_, profile_);
    connectString_ = BuildConnectString(settings_);
    try {
        if (sharedSession_->Open(connectString_, OpenOptions::UseCursorLibrary)) return true;
        // The driver ended the connect without a connection and without an
        // error: nothing can run on a closed session, so this ends the start.
        ReportFailedOpen(LoadString(str::DatabaseInitError));
    } catch (const CDBException& e) {
        if (profile_.Path().empty() && commandLineValues_.DataSource.empty() && IsUnknownDataSource(e))
            return OpenPersonalDatabase();
        ReportFailedOpen(e.ErrorText);
    }
    return false;
}

bool CStationApp::OpenPersonalDatabase() {
    connectString_ = SqliteConnectString(personal_.path);
    try {
        if (CreatePersonalDatabase(personal_))
            port_.MessageBox(FormatString(str::PersonalDatabaseCreated, personal_.path), {}, platform::Buttons::Ok,
                             platform::Icon::Default);
        if (sharedSession_->Open(connectString_, OpenOptions::UseCursorLibrary)) return true;
        ReportFailedOpen(LoadString(str::DatabaseInitError));
    } catch (const CDBException& e) {
        ReportFailedOpen(e.ErrorText);
    } catch (const std::runtime_error& e) {
        ReportFailedOpen(e.what());
    }
    return false;
}

void CStationApp::ReportFailedOpen(const std::string& reason) {
    std::string text = MaskPassword(connectString_) + "\n" + reason;
    // A start without its configuration file connects with the defaults: say
    // that no file was found, and where it was looked for.
    std::error_code ec;
    if (profile_.Path().empty()) {
        text += '\n';
        text += LoadString(str::ConfigNotFound);
    } else if (!std::filesystem::exists(profile_.Path(), ec)) {
        text += '\n';
        text += FormatString(str::ConfigFileMissing, profile_.Path());
    }
    port_.MessageBox(text, {}, platform::Buttons::Ok, platform::Icon::Stop);
}
