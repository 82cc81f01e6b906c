#include "tests/form/form_test_fixture.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "db/schema_upgrade.h"
#include "db/session.h"
#include "tests/support/backend.h"
#include "resources/string_table.h"

#ifndef SE_SQL_DIR
#error "SE_SQL_DIR must name the sql/ folder of the source tree"
#endif

namespace form_test {
namespace {

// A file name no other test of this or a parallel run uses.
std::string UniquePath(const std::string& stem, const std::string& extension) {
    static std::atomic<int> counter{0};
    const auto dir = std::filesystem::temp_directory_path();
    return (dir / (stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + extension)).string();
}

std::unique_ptr<CDatabase> OpenSession(const std::string& connect) {
    auto session = std::make_unique<CDatabase>();
    if (!session->Open(connect, OpenOptions::UseCursorLibrary)) throw std::runtime_error("cannot open " + connect);
    return session;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// The tables made once per test process; each test gets a copy of the file,
// which is much quicker than running the schema upgrade again. The name is
// never freed, so the exit handler can still remove the file.
const std::string* templatePath = nullptr;

const std::string& TemplateDatabase() {
    if (templatePath == nullptr) {
        const std::string file = UniquePath("form_test_template", ".db");
        auto session = OpenSession("DRIVER=SQLite3;Database=" + file + ";");
        RunSqlScript(*session, std::string(SE_SQL_DIR) + "/sqlite/base_tables.sql");
        UpgradeSchema(*session, [](const ColumnUpgradeFailure& f) {
            ADD_FAILURE() << "schema upgrade: " << ColumnUpgradeFailureText(f.Table, f.Column, f.ErrorText);
        });
        templatePath = new std::string(file);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove(*templatePath, ignored);
        });
    }
    return *templatePath;
}

}  // namespace

SqliteFile::SqliteFile() : path_(UniquePath("form_test", ".db")), connect_("DRIVER=SQLite3;Database=" + path_ + ";") {
    std::filesystem::copy_file(TemplateDatabase(), path_);
}

SqliteFile::~SqliteFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

void SqliteFile::Exec(const std::string& sql) const {
    try {
        OpenSession(connect_)->ExecuteDirect(sql);
    } catch (const CDBException& e) {
        ADD_FAILURE() << sql << ": " << e.ErrorText;
    }
}

void FormTest::OpenForm(const std::string& startStationCode) {
    MakeForm(startStationCode);
    port.Open(*form);
}

void FormTest::MakeForm(const std::string& startStationCode) {
    FormEnvironment env;
    env.startStationCode = startStationCode;
    const std::string connect = db.ConnectString();
    env.connectString = [connect] { return connect; };
    env.openSession = makeSession ? makeSession : DefaultSessionFactory();
    env.profile = &profile;
    form = std::make_unique<CStationDlg>(port, std::move(env));
}

void FormTest::TearDown() {
    form.reset();
    if (!profilePath.empty()) {
        std::error_code ignored;
        std::filesystem::remove(profilePath, ignored);
    }
}

void FormTest::WriteProfile(const std::string& contents) {
    if (profilePath.empty()) profilePath = UniquePath("form_test_zrn", ".ini");
    std::ofstream(profilePath) << contents;
    profile = ProfileReader(profilePath);
}

void FormTest::AddSite(const std::string& code, int nindex, int ngroups) {
    db.Exec("insert into SITE (STA, NINDEX, NGROUPS, LAT, LON, ELEV) values (" + Quoted(code) + ", " +
            std::to_string(nindex) + ", " + std::to_string(ngroups) + ", 10, 20, 30)");
}

void FormTest::AddChannel(const std::string& code, const std::string& chan, int group, int component,
                          const std::string& calibFile) {
    db.Exec("insert into SITECHAN (STA, CHAN, NGROUP, CHANINDEX, SPS, CALIBFILE) values (" + Quoted(code) + ", " +
            Quoted(chan) + ", " + std::to_string(group) + ", " + std::to_string(component) + ", 20, " +
            Quoted(calibFile) + ")");
}

std::string FormTest::MessageTexts() const {
    std::string all;
    for (const auto& m : port.Messages()) all += m.text + "\n";
    return all;
}

}  // namespace form_test
