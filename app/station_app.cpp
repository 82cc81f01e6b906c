#include "app/station_app.h"

#include "db/schema_upgrade.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"

CStationApp::CStationApp(platform::DialogPort& port, std::string commandLine, ProfileReader profile,
                         SessionFactory openSession)
    : port_(port),
      commandLine_(std::move(commandLine)),
      profile_(std::move(profile)),
      openSession_(std::move(openSession)),
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
    env.sharedSession = sharedSession_.get();
    env.profile = &profile_;
    {
        CStationDlg form(port_, std::move(env));
        form.DoModal();
        pool_.Clear();
        CloseSharedSession();
    }
    return false;
}

bool CStationApp::OpenSharedSession() {
    settings_ = ResolveConnectionSettings(commandLineValues_, profile_);
    const std::string connect = ConnectString();
    try {
        if (sharedSession_->Open(connect, OpenOptions::UseCursorLibrary)) return true;
        // The driver ended the connect without a connection and without an
        // error: nothing can run on a closed session, so this ends the start.
        port_.MessageBox(MaskPassword(connect) + "\n" + LoadString(str::DatabaseInitError), {},
                         platform::Buttons::Ok, platform::Icon::Stop);
    } catch (const CDBException& e) {
        port_.MessageBox(MaskPassword(connect) + "\n" + e.ErrorText, {}, platform::Buttons::Ok,
                         platform::Icon::Stop);
    }
    return false;
}
