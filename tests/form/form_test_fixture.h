#pragma once
// The station form on the in-memory dialog over a fresh SQLite file of its
// own, for tests of the form's fields, exchange and channel grid.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "form/station_dlg.h"
#include "platform/fake/fake_dialog_port.h"
#include "platform/profile_reader.h"

namespace form_test {

// A temporary SQLite database with the station tables as the program works on
// them; the file is removed with the object.
class SqliteFile {
public:
    SqliteFile();
    ~SqliteFile();
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    const std::string& ConnectString() const { return connect_; }
    // Runs one statement on a session of its own; fails the test on error.
    void Exec(const std::string& sql) const;

private:
    std::string path_;
    std::string connect_;
};

// Fixture: the form, its dialog and its database.
class FormTest : public ::testing::Test {
protected:
    void TearDown() override;
    // Constructs the form and opens it: its initialisation runs.
    void OpenForm(const std::string& startStationCode = {});
    // Constructs the form only, for DoModal.
    void MakeForm(const std::string& startStationCode = {});
    // Writes the configuration file the form reads "ZRN"/"DIR" from.
    void WriteProfile(const std::string& contents);

    // A SITE row with the given code, number and group count.
    void AddSite(const std::string& code, int nindex, int ngroups);
    // A SITECHAN row.
    void AddChannel(const std::string& code, const std::string& chan, int group, int component,
                    const std::string& calibFile = {});

    // The message boxes shown so far, one text per line, for failure output.
    std::string MessageTexts() const;

    SqliteFile db;
    // Makes the form's operation sessions; the real sessions unless a test
    // sets a session with chosen faults before OpenForm.
    SessionFactory makeSession;
    platform::FakeDialogPort port;
    std::unique_ptr<CStationDlg> form;
    std::string profilePath;
    ProfileReader profile;
};

}  // namespace form_test
