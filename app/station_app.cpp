#include "app/station_app.h"

#include <utility>

#include "db/schema_upgrade.h"
#include "form/station_dlg.h"
#include "resources/string_table.h"
#include "station/station_journal.h"

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
    if (!OpenSharedSession()) {
        exitStatus_ = 1;
        return false;
    }

    UpgradeSchema(*sharedSession_, [this](const ColumnUpgradeFailure& failure) {
        port_.MessageBox(ColumnUpgradeFailureText(failure.Table, failure.Column, failure.ErrorText), {}, platform::Buttons::Ok, platform::Icon::Stop);
    });
    // The journal's table belongs to the schema; without it the editor
    // works, and says once why nothing it writes is journaled.
    if (const JournalState journal = EnsureJournalTable(*sharedSession_); !journal.available)
        port_.MessageBox(FormatString(str::JournalUnavailable, journal.reason), {}, platform::Buttons::Ok,
                         platform::Icon::Exclamation);

    // The form's operations draw their sessions from the pool; the connection
    // the upgrade ran on is the first of them, so a start connects once.
    pool_.Adopt(std::exchange(sharedSession_, openSession_()), connectString_, OpenOptions::UseCursorLibrary);

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

bool CStationApp::OpenSharedSession() {
    const DatabaseChoice choice = ChooseDatabase(commandLineValues_, profile_, personal_.path);
    settings_ = choice.settings;
    OpenRequest request;
    request.options = OpenOptions::UseCursorLibrary;
    request.createPersonal = [this](const std::string& path) {
        PersonalDatabase database = personal_;
        database.path = path;
        return CreatePersonalDatabase(database);
    };
    const OpenOutcome outcome = OpenChosenDatabase(*sharedSession_, choice, request);
    connectString_ = outcome.connectString;
    if (outcome.createdPersonal)
        port_.MessageBox(FormatString(str::PersonalDatabaseCreated, personal_.path), {}, platform::Buttons::Ok,
                         platform::Icon::Information);
    if (!outcome.open) port_.MessageBox(outcome.failure, {}, platform::Buttons::Ok, platform::Icon::Stop);
    return outcome.open;
}
