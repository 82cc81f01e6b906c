// Every program as a new user meets it: --help and --version without a
// display, the personal database found by the command-line programs (never
// created by them), no files the user did not ask for, and a missing ODBC
// driver named by its Debian package. Each run gets a home folder of its own
// and a clean environment.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <string>

#include "settings/database_choice.h"
#include "app/personal_database.h"
#include "db/session.h"

#if !defined(SE_STATION_EDITOR) || !defined(SE_STATION_CHECK) || !defined(SE_STATION_EXPORT) || \
    !defined(SE_STATION_UPGRADE) || !defined(SE_STATION_IMPORT) || !defined(SE_STATION_HISTORY) || \
    !defined(SE_STATION_RESTORE) || !defined(SE_STATION_SERVE) || !defined(SE_STATIONXML_FILE) || !defined(SE_SQL_DIR)
#error "the programs' paths and SE_SQL_DIR must be given"
#endif

namespace {

struct ProgramRun {
    int exit = -1;
    std::string out, err;
};

class ProgramsCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath("home"));
        // A new user: no display, no zrn.ini, no data sources of his own.
        const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
        for (const char* keep : {"PATH", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "LANG"})
            if (system.contains(keep)) env_.insert(keep, system.value(keep));
        env_.insert("HOME", Home());
        env_.insert("XDG_CONFIG_HOME", Home() + "/.config");
        env_.insert("ODBCINI", Home() + "/.odbc.ini");
    }

    QString Home() const { return dir_.filePath("home"); }
    std::string PersonalPath() const { return (Home() + "/.local/share/station-editor/zrn.sqlite").toStdString(); }

    void WriteFile(const QString& path, const std::string& content) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(content.data(), static_cast<qint64>(content.size()));
    }

    ProgramRun Run(const char* program, const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(env_);
        process.setWorkingDirectory(Home());
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(60000)) << program;
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }

    QTemporaryDir dir_;
    QProcessEnvironment env_;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const char* const kPrograms[] = {SE_STATION_EDITOR,  SE_STATION_CHECK,   SE_STATION_EXPORT, SE_STATION_UPGRADE,
                                 SE_STATION_IMPORT,  SE_STATION_HISTORY, SE_STATION_RESTORE, SE_STATION_SERVE};

}  // namespace

TEST_F(ProgramsCli, HelpAndVersionAnswerOnStandardOutputWithoutADisplay) {
    const struct {
        const char* arg;
        const char* shown;
    } cases[] = {{"--help", "Использование: "}, {"--version", ", версия "}};
    for (const char* program : kPrograms) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(program) + " " + c.arg);
            const ProgramRun run = Run(program, {c.arg});
            EXPECT_EQ(run.exit, 0) << run.err;
            EXPECT_TRUE(Contains(run.out, c.shown)) << run.out;
            EXPECT_TRUE(run.err.empty()) << run.err;
        }
    }
}

TEST_F(ProgramsCli, ToolsWorkOnThePersonalDatabaseTheEditorCreated) {
    ASSERT_TRUE(CreatePersonalDatabase({PersonalPath(), std::string(SE_SQL_DIR) + "/sqlite/base_tables.sql"}));
    {
        CDatabase session;
        ASSERT_TRUE(session.Open(SqliteConnectString(PersonalPath()), OpenOptions::NoOdbcDialog));
        session.ExecuteDirect("INSERT INTO SITE (STA, LAT, LON, ELEV) VALUES ('MINE', 55.1, 36.6, 170)");
        session.Close();
    }
    const ProgramRun upgrade = Run(SE_STATION_UPGRADE, {});
    EXPECT_EQ(upgrade.exit, 0) << upgrade.err;
    const ProgramRun check = Run(SE_STATION_CHECK, {});
    EXPECT_LE(check.exit, 1) << check.err;
    EXPECT_TRUE(Contains(check.out, "Проверено станций: 1,")) << check.out << check.err;
    const ProgramRun exported = Run(SE_STATION_EXPORT, {"--stationxml"});
    EXPECT_LE(exported.exit, 1) << exported.err;
    EXPECT_TRUE(Contains(exported.out, "<Station code=\"MINE\"")) << exported.out << exported.err;
}

TEST_F(ProgramsCli, ToolsWithoutThePersonalDatabaseSayWhereTheyLookedAndCreateNothing) {
    const struct {
        const char* program;
        QStringList args;
        int exit;
    } cases[] = {{SE_STATION_CHECK, {}, 2},
                 {SE_STATION_EXPORT, {"--stationxml"}, 2},
                 {SE_STATION_UPGRADE, {}, 1},
                 {SE_STATION_IMPORT, {"--stationxml", SE_STATIONXML_FILE}, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        const ProgramRun run = Run(c.program, c.args);
        EXPECT_EQ(run.exit, c.exit) << run.err;
        for (const std::string& part : {std::string("DSN=ZRN;UID=ZRN;PWD=****;"), PersonalPath(), std::string("zrn.ini")})
            EXPECT_TRUE(Contains(run.err, part)) << part << "\n" << run.err;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(PersonalPath())));
    }
}

TEST_F(ProgramsCli, LookingUpADataSourceLeavesNoEmptyUserDataSourceFile) {
    const struct {
        const char* program;
        QStringList args;
    } cases[] = {{SE_STATION_CHECK, {}}, {SE_STATION_UPGRADE, {}}, {SE_STATION_IMPORT, {"--stationxml", SE_STATIONXML_FILE}}};
    for (const auto& c : cases) {
        Run(c.program, c.args + QStringList{"ODBC=se_no_such_source"});
        EXPECT_FALSE(QFile::exists(Home() + "/.odbc.ini")) << c.program;
    }
}

// A zrn.ini that cannot be read is not taken for an empty one: the report of
// the failed connection says it could not be read, and why.
TEST_F(ProgramsCli, AnUnreadableConfigurationFileIsReportedWithTheReason) {
    ASSERT_TRUE(QDir(Home()).mkdir("zrn.ini"));
    env_.insert("ZRN_INI", Home() + "/zrn.ini");
    const ProgramRun run = Run(SE_STATION_CHECK, {});
    EXPECT_EQ(run.exit, 2);
    EXPECT_TRUE(Contains(run.err, (Home() + "/zrn.ini не удалось прочитать: ").toStdString() + std::strerror(EISDIR)))
        << run.err;
}

TEST_F(ProgramsCli, AMissingOdbcDriverIsNamedByItsDebianPackage) {
    // A system with no ODBC driver registered, and the user's data sources
    // naming the drivers of the three packages.
    ASSERT_TRUE(QDir(dir_.path()).mkpath("etc"));
    WriteFile(dir_.filePath("etc/odbcinst.ini"), "");
    WriteFile(dir_.filePath("etc/odbc.ini"), "");
    env_.insert("ODBCSYSINI", dir_.filePath("etc"));
    WriteFile(Home() + "/.odbc.ini",
              "[LITE]\nDriver=SQLite3\nDatabase=/tmp/x.sqlite\n[PG]\nDriver=PostgreSQL ANSI\nServername=localhost\n"
              "[MARIA]\nDriver=MariaDB Unicode\nServer=localhost\n");
    const struct {
        const char* program;
        QStringList args;
        const char* package;
    } cases[] = {
        {SE_STATION_CHECK, {"ODBC=LITE"}, "libsqliteodbc"},
        {SE_STATION_CHECK, {"ODBC=PG"}, "odbc-postgresql"},
        {SE_STATION_EXPORT, {"--stationxml", "ODBC=MARIA"}, "odbc-mariadb"},
        {SE_STATION_UPGRADE, {"DRIVER=SQLite3;Database=/tmp/x.sqlite;"}, "libsqliteodbc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ProgramRun run = Run(c.program, c.args);
        EXPECT_NE(run.exit, 0);
        EXPECT_TRUE(Contains(run.err, std::string("пакет Debian ") + c.package)) << run.err;
    }
}
