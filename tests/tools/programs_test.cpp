// station-check and station-export run as programs on every backend: exit
// statuses, JSON that survives hostile text, and a session that only reads.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "db/sql_text.h"
#include "tests/support/backend.h"
#include "tests/tools/catalogue_fixture.h"
#include "tools/tool_common.h"

#if !defined(SE_STATION_CHECK) || !defined(SE_STATION_EXPORT) || !defined(SE_STATIONXML_SCHEMA) || !defined(SE_OGRINFO)
#error "SE_STATION_CHECK, SE_STATION_EXPORT and SE_STATIONXML_SCHEMA must name the programs and the schema"
#endif

namespace {

// What one run of a program gave.
struct ProgramRun {
    int exit = -1;
    std::string out, err;
};

class ProgramsTest : public CatalogueFixture {
protected:
    void SetUp() override {
        CatalogueFixture::SetUp();
        ASSERT_TRUE(dir_.isValid());
        // zrn.ini of the run: the response files of the source tree and a network code.
        ASSERT_TRUE(QFile::link(QString::fromStdString(ResponseFiles()), dir_.filePath("RESPONSE")));
        WriteFile("zrn.ini", "[ZRN]\nDIR=" + dir_.path().toStdString() + "\n[STATIONXML]\nNETWORK=ZR\n");
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("ZRN_INI", dir_.filePath("zrn.ini"));
    }

    void WriteFile(const QString& name, const std::string& content) {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), static_cast<qint64>(content.size()));
    }

    // The program with `args`, then the backend's connection tokens
    // (of which the first is replaced by `dataSource` when given).
    // It runs in the test's folder; its standard output goes to the file
    // `standardOutput` when given.
    ProgramRun Start(const char* program, QStringList args, const std::string& dataSource = {},
                     const QString& standardOutput = {}) {
        const Backend& backend = CurrentBackend();
        args << QString::fromStdString("ODBC=" + (dataSource.empty() ? backend.dsn : dataSource))
             << QString::fromStdString("USER=" + backend.user)
             << QString::fromStdString("PASSWORD=" + backend.password);
        QProcess process;
        process.setProcessEnvironment(env_);
        process.setWorkingDirectory(dir_.path());
        if (!standardOutput.isEmpty()) process.setStandardOutputFile(standardOutput);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(120000)) << program;
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }

    QTemporaryDir dir_;
    QProcessEnvironment env_;
};

TEST_F(ProgramsTest, CleanCatalogueExitsZero) {
    LoadDemo();
    const ProgramRun check = Start(SE_STATION_CHECK, {});
    EXPECT_EQ(check.exit, 0) << check.err;
    EXPECT_NE(check.out.find("Замечаний нет"), std::string::npos) << check.out;
    const ProgramRun exported = Start(SE_STATION_EXPORT, {"--stationxml", "-o", dir_.filePath("all.xml")});
    EXPECT_EQ(exported.exit, 0) << exported.err;
    EXPECT_EQ(QProcess::execute("xmllint", {"--noout", "--schema", SE_STATIONXML_SCHEMA, dir_.filePath("all.xml")}), 0);
}

TEST_F(ProgramsTest, FindingsExitOneAndJsonKeepsHostileText) {
    LoadDemo();
    const std::string hostile = "Ж\"<&'\t}";
    Execute({"UPDATE SITE SET REFSTA=" + SqlQuote(hostile) + " WHERE STA='ARU'"});
    const ProgramRun run = Start(SE_STATION_CHECK, {"ARU", "--format", "json"});
    EXPECT_EQ(run.exit, 1) << run.err;
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;
    const QJsonArray findings = json.object()["findings"].toArray();
    ASSERT_EQ(findings.size(), 1);
    const QJsonObject finding = findings[0].toObject();
    EXPECT_EQ(finding["station"].toString(), "ARU");
    EXPECT_EQ(finding["rule"].toString(), "refsta-unknown");
    EXPECT_EQ(finding["severity"].toString(), "error");
    EXPECT_TRUE(finding["message"].toString().contains(QString::fromStdString(hostile))) << run.out;
}

TEST_F(ProgramsTest, WhatCannotRunExitsTwoWithTheReason) {
    LoadDemo();
    const struct {
        const char* program;
        QStringList args;
        const char* reason;
    } cases[] = {
        {SE_STATION_CHECK, {"NOSUCH"}, "Нет в SITE: NOSUCH"},
        {SE_STATION_CHECK, {"KIV "}, "код станции 'KIV ' содержит пробел"},
        {SE_STATION_EXPORT, {"--stationxml", ""}, "код станции пуст"},
        {SE_STATION_CHECK, {"--format", "xml"}, "неизвестный формат"},
        {SE_STATION_CHECK, {"--frobnicate"}, "неизвестный параметр"},
        {SE_STATION_EXPORT, {"KIV"}, "--stationxml"},
        {SE_STATION_EXPORT, {"--stationxml", "-o", "/nonexistent-folder/x.xml"}, "не удалось записать"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = Start(c.program, c.args);
        EXPECT_EQ(run.exit, 2) << c.reason;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    }
    const ProgramRun unreachable = Start(SE_STATION_CHECK, {}, "se_no_such_source");
    EXPECT_EQ(unreachable.exit, 2);
    EXPECT_NE(unreachable.err.find("Не удалось подключиться к базе данных"), std::string::npos) << unreachable.err;
    EXPECT_EQ(unreachable.err.find("PWD=" + CurrentBackend().password + ";"), std::string::npos);
}

// The map layer is read by GDAL (ogrinfo), a reader that is not ours, and the
// web service's text format has its header and one line per station or
// channel; hostile text survives both.
TEST_F(ProgramsTest, GeoJsonOpensInGdalAndTextHasTheServiceColumns) {
    LoadDemo();
    const std::string name = "Ж\"<&'\\ }{";
    Execute({"UPDATE SITE SET STANAME=" + SqlQuote(name) + " WHERE STA='ARU'"});
    const ProgramRun geojson = Start(SE_STATION_EXPORT, {"--geojson", "-o", dir_.filePath("map.geojson")});
    EXPECT_EQ(geojson.exit, 0) << geojson.err;
    QProcess ogrinfo;
    ogrinfo.start(SE_OGRINFO, {"-ro", "-al", "-where", "station = 'ARU'", dir_.filePath("map.geojson")});
    ASSERT_TRUE(ogrinfo.waitForFinished(60000));
    const std::string layer = ogrinfo.readAllStandardOutput().toStdString();
    EXPECT_EQ(ogrinfo.exitCode(), 0) << ogrinfo.readAllStandardError().toStdString();
    for (const std::string& expected : {std::string("Geometry: 3D Point"), std::string("Feature Count: 1"),
                                        "name (String) = " + name, std::string("POINT Z (58.5625 56.4302 250)"),
                                        std::string("startDate (DateTime) = 1989/08/01"),
                                        std::string("channels (String(JSON)) = [ { \"code\": \"BHZ\"")})
        EXPECT_NE(layer.find(expected), std::string::npos) << expected << "\n" << layer;

    const ProgramRun stations = Start(SE_STATION_EXPORT, {"--text", "--network", "ZR", "ARU"});
    EXPECT_EQ(stations.exit, 0) << stations.err;
    EXPECT_EQ(stations.out, "#Network | Station | Latitude | Longitude | Elevation | SiteName | StartTime | EndTime\n"
                            "ZR|ARU|56.4302|58.5625|250|" + name + "|1989-08-01T00:00:00|\n");
    const ProgramRun channels = Start(SE_STATION_EXPORT, {"--text", "--level", "channel", "NRIL"});
    EXPECT_EQ(channels.exit, 0) << channels.err;
    EXPECT_EQ(channels.out.substr(0, channels.out.find('\n')),
              "#Network | Station | Location | Channel | Latitude | Longitude | Elevation | Depth | Azimuth | Dip | "
              "SensorDescription | Scale | ScaleFreq | ScaleUnits | SampleRate | StartTime | EndTime");
    EXPECT_NE(channels.out.find("\nZR|NRIL|00|BHN|69.5049|88.4414|599|0|0|0|STS-2||||20|1992-08-11T00:00:00|"
                                "2021-12-31T23:59:59\n"),
              std::string::npos)
        << channels.out;
}

// A small file system mounted on a folder for one test, unmounted however
// the test ends.
class MountedTmpfs {
public:
    MountedTmpfs(const std::string& folder, const char* options) : folder_(folder) {
        mounted_ = mount("tmpfs", folder.c_str(), "tmpfs", 0, options) == 0;
        EXPECT_TRUE(mounted_) << "mount " << folder << ": " << std::strerror(errno);
    }
    ~MountedTmpfs() {
        if (mounted_) {
            EXPECT_EQ(umount2(folder_.c_str(), MNT_DETACH), 0) << std::strerror(errno);
        }
    }
    MountedTmpfs(const MountedTmpfs&) = delete;
    MountedTmpfs& operator=(const MountedTmpfs&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_ = false;
};

// Writes `path` until its file system has no room left.
void FillUp(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    const std::vector<char> block(4096, 'x');
    while (write(fd, block.data(), block.size()) > 0) {
    }
    while (write(fd, block.data(), 1) > 0) {
    }
    close(fd);
}

std::string FileContent(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll().toStdString();
}

// On a full file system every format's write fails part-way: the export says
// so with the system's reason, exits 2, and the previous file stays as it
// was, with nothing left beside it.
TEST_F(ProgramsTest, AnExportThatCannotBeWrittenExitsTwoAndKeepsThePreviousFile) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    LoadDemo();
    ASSERT_TRUE(QDir(dir_.path()).mkdir("small"));
    const QString folder = dir_.filePath("small"), target = dir_.filePath("small/stations.out");
    const MountedTmpfs small(folder.toStdString(), "size=64k");
    ASSERT_TRUE(small.Mounted());
    const QStringList formats[] = {{"--text"}, {"--text", "--level", "channel"}, {"--geojson"},
                                   {"--stationxml", "OBN1"}, {"--stationxml"}};
    const std::string previous = "the previous export\n";
    for (const QStringList& format : formats) {
        SCOPED_TRACE(format.join(' ').toStdString());
        WriteFile("small/stations.out", previous);
        FillUp(dir_.filePath("small/filler").toStdString());
        const ProgramRun run = Start(SE_STATION_EXPORT, format + QStringList{"-o", target});
        EXPECT_EQ(run.exit, 2) << run.err;
        EXPECT_NE(run.err.find(std::strerror(ENOSPC)), std::string::npos) << run.err;
        EXPECT_EQ(FileContent(target), previous);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"filler", "stations.out"}));
        ASSERT_TRUE(QFile::remove(dir_.filePath("small/filler")));
    }
}

// A target that is not a regular file is written as it is, never replaced:
// a device stays a device, and a full device's refusal exits 2 with its
// reason. As root the test makes device nodes of its own (the devices of
// /dev/null and /dev/full), so that a fault cannot replace the system's;
// otherwise it writes the system's, which only root could replace.
TEST_F(ProgramsTest, ADeviceIsWrittenAndStaysADevice) {
    LoadDemo();
    const struct {
        const char* name;
        unsigned minor;
        int exit;
        std::string reason;
    } cases[] = {{"null", 3, 0, ""}, {"full", 7, 2, std::strerror(ENOSPC)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = std::string("/dev/") + c.name;
        if (geteuid() == 0) {
            path = dir_.filePath(c.name).toStdString();
            ASSERT_EQ(mknod(path.c_str(), S_IFCHR | 0666, makedev(1, c.minor)), 0) << std::strerror(errno);
        }
        const ProgramRun run = Start(SE_STATION_EXPORT, {"--text", "-o", QString::fromStdString(path)});
        EXPECT_EQ(run.exit, c.exit) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        struct stat st {};
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
}

// "-o -" is the standard output, written as without -o; the standard output
// is checked as a file is: a full one exits 2 with the reason.
TEST_F(ProgramsTest, DashIsTheStandardOutputAndItsWritesAreChecked) {
    LoadDemo();
    const ProgramRun dash = Start(SE_STATION_EXPORT, {"--text", "ARU", "-o", "-"});
    EXPECT_EQ(dash.exit, 0) << dash.err;
    EXPECT_EQ(dash.out.rfind("#Network | Station", 0), 0u) << dash.out;
    EXPECT_FALSE(QFile::exists(dir_.filePath("-")));
    for (const QStringList& args : {QStringList{"--text", "-o", "-"}, QStringList{"--stationxml"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const ProgramRun full = Start(SE_STATION_EXPORT, args, {}, "/dev/full");
        EXPECT_EQ(full.exit, 2) << full.err;
        EXPECT_NE(full.err.find(std::strerror(ENOSPC)), std::string::npos) << full.err;
    }
}

// The driver manager's trace shows every statement a program sends and the
// read-only request on its connection.
TEST_F(ProgramsTest, ProgramsAskForAReadOnlySessionAndSendOnlySelect) {
    LoadDemo();
    const QString sysIni = QString::fromLocal8Bit(qgetenv("ODBCSYSINI"));
    QFile drivers((sysIni.isEmpty() ? QString("/etc") : sysIni) + "/odbcinst.ini");
    ASSERT_TRUE(drivers.open(QIODevice::ReadOnly));
    const QString trace = dir_.filePath("trace.log");
    WriteFile("odbcinst.ini", drivers.readAll().toStdString() + "\n[ODBC]\nTrace=Yes\nTraceFile=" +
                                  trace.toStdString() + "\n");
    env_.insert("ODBCSYSINI", dir_.path());

    EXPECT_EQ(Start(SE_STATION_CHECK, {}).exit, 0);
    EXPECT_EQ(Start(SE_STATION_EXPORT, {"--stationxml", "-o", dir_.filePath("all.xml")}).exit, 0);

    QFile log(trace);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromLocal8Bit(log.readAll());
    const QRegularExpression statement(R"(\n\s*SQL = \[([^\n]*))");
    int statements = 0;
    for (auto it = statement.globalMatch(text); it.hasNext();) {
        const QString sql = it.next().captured(1);
        // A MySQL-kind session is told to read backslashes as ordinary
        // characters; that changes the session, never the data.
        if (sql.startsWith("SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES')")) continue;
        // A PostgreSQL session is given its statements' time limit once.
        if (sql.startsWith("SET statement_timeout = ")) continue;
        EXPECT_TRUE(sql.startsWith("SELECT ", Qt::CaseInsensitive)) << sql.toStdString();
        ++statements;
    }
    // SITE and SITECHAN, by each program, station-check's look for the
    // journal's table and station-export's for AFFILIATION.
    EXPECT_EQ(statements, 6);
    EXPECT_TRUE(text.contains("SQL_ATTR_ACCESS_MODE"));
}

// Of the three drivers only psqlODBC enforces the read-only request; the
// SQLite and MariaDB drivers take it and write all the same, so there the
// SELECT-only rule above is what keeps the database untouched.
TEST_F(ProgramsTest, ReadOnlySessionRefusesWritesWhereTheDriverEnforcesIt) {
    LoadDemo();
    CDatabase readOnly;
    std::ostringstream err;
    DatabaseChoice database;
    database.connectString = CurrentBackend().ConnectString();
    ASSERT_TRUE(OpenReadOnlySession(readOnly, database, err)) << err.str();
    EXPECT_EQ(ReadCatalogue(readOnly, {}).sites.size(), 8u);
    if (CurrentBackend().name == "postgres") {
        EXPECT_THROW(readOnly.ExecuteDirect("DELETE FROM SITE"), CDBException);
        EXPECT_EQ(ReadCatalogue(readOnly, {}).sites.size(), 8u);
    }
}

}  // namespace
