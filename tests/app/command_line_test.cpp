#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "settings/command_line.h"
#include "settings/config_file.h"
#include "settings/connection_settings.h"
#include "settings/network_setting.h"
#include "platform/profile_reader.h"

namespace fs = std::filesystem;

namespace {

// A temporary folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/se-app-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string Write(const std::string& name, const std::string& content) const {
        std::string p = path_ + "/" + name;
        std::ofstream(p) << content;
        return p;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string Station(const std::string& line) {
    std::string code;
    EXPECT_TRUE(ParseStationCode(line, code)) << line;
    return code;
}

}  // namespace

TEST(CommandLine, FirstTokenIsTheUpperCasedStationCode) {
    EXPECT_EQ(Station("abc ODBC=dsn1"), "ABC");
    EXPECT_EQ(Station("   abc ODBC=dsn1"), "ABC");
    EXPECT_EQ(Station("odbc=x"), "ODBC=X");
    EXPECT_EQ(Station("кив"), "КИВ");
    EXPECT_EQ(Station("ёлка"), "ЁЛКА");
    std::string code = "kept";
    EXPECT_FALSE(ParseStationCode("    ", code));
    EXPECT_EQ(code, "kept");
}

TEST(CommandLine, StationCodeIsCutToItsCapacityInCharacters) {
    EXPECT_EQ(Station(std::string(30, 'a')), std::string(19, 'A'));
    // Nineteen Cyrillic letters are 38 bytes and all of them stay.
    std::string cyrillic;
    for (int i = 0; i < 25; ++i) cyrillic += "ж";
    std::string expected;
    for (int i = 0; i < 19; ++i) expected += "Ж";
    EXPECT_EQ(Station(cyrillic), expected);
}

TEST(CommandLine, KeyTokensAreFoundAnywhereAndEndAtABlank) {
    CommandLineValues v = ParseCommandLine("abc ODBC=dsn1");
    EXPECT_EQ(v.DataSource, "dsn1");
    EXPECT_EQ(v.User, "");
    EXPECT_EQ(v.Password, "");

    v = ParseCommandLine("abc ODBC= USER=u");
    EXPECT_EQ(v.DataSource, "");
    EXPECT_EQ(v.User, "u");

    v = ParseCommandLine("abc MYUSER=x PASSWORD=se cret");
    EXPECT_EQ(v.User, "x");
    EXPECT_EQ(v.Password, "se");

    v = ParseCommandLine("odbc=x user=y");
    EXPECT_EQ(v.DataSource, "");
    EXPECT_EQ(v.User, "");

    v = ParseCommandLine("abc PASSWORD=a\tb");
    EXPECT_EQ(v.Password, "a\tb");
}

TEST(CommandLine, ArgumentsAreJoinedWithBlanks) {
    char prog[] = "station-editor", a[] = "abc", b[] = "ODBC=x";
    char* argv[] = {prog, a, b};
    EXPECT_EQ(JoinArguments(3, argv), "abc ODBC=x");
    EXPECT_EQ(JoinArguments(1, argv), "");
}

TEST(CommandLine, ProgramArgumentsSplitIntoWholeConnectionValuesAndTheRest) {
    std::string args[] = {"station-check", "KIV", "PASSWORD=a b;c", "--format", "json", "ODBC=ZRN_PG", "ODBC=LAST",
                          "xUSER=no"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    const ProgramArguments split = SplitProgramArguments(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(split.connection.DataSource, "LAST");
    EXPECT_EQ(split.connection.User, "");
    EXPECT_EQ(split.connection.Password, "a b;c");
    EXPECT_EQ(split.others, (std::vector<std::string>{"KIV", "--format", "json", "xUSER=no"}));
}

TEST(ConnectionSettings, CommandLineOverridesFileAndDefaultsFillTheRest) {
    TempDir dir;
    ProfileReader profile(dir.Write("zrn.ini", "[database]\nodbc = FILEDSN\nUser=fileuser\n"));

    ConnectionSettings s = ResolveConnectionSettings(ParseCommandLine("abc ODBC=dsn1"), profile);
    EXPECT_EQ(BuildConnectString(s), "DSN=dsn1;UID=fileuser;PWD=PJQ;");

    s = ResolveConnectionSettings(ParseCommandLine("abc ODBC= USER=u"), profile);
    EXPECT_EQ(BuildConnectString(s), "DSN=FILEDSN;UID=u;PWD=PJQ;");

    s = ResolveConnectionSettings({}, ProfileReader());
    EXPECT_EQ(BuildConnectString(s), "DSN=ZRN;UID=ZRN;PWD=PJQ;");
}

TEST(ConnectionSettings, LongValuesAreCutToTheFieldCapacity) {
    TempDir dir;
    ProfileReader profile(dir.Write("zrn.ini", "[DATABASE]\nODBC=" + std::string(40, 'd') + "\n"));
    ConnectionSettings s = ResolveConnectionSettings(ParseCommandLine("x USER=" + std::string(70, 'u')), profile);
    EXPECT_EQ(s.DataSource, std::string(31, 'd'));
    EXPECT_EQ(s.User, std::string(63, 'u'));
}

TEST(NetworkSetting, CommandLineThenFdsnThenStationXmlSectionThenXX) {
    const struct {
        std::string given, ini, expected;
    } cases[] = {
        {"IU", "[FDSN]\nNETWORK=ZR\n", "IU"},
        {"", "[FDSN]\nNETWORK=ZR\n[STATIONXML]\nNETWORK=II\n", "ZR"},
        {"", "[STATIONXML]\nNETWORK=II\n", "II"},
        {"", "", "XX"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        EXPECT_EQ(DefaultNetworkCode(c.given, ProfileReader(dir.Write("zrn.ini", c.ini))), c.expected) << c.ini;
    }
}

TEST(ProfileReader, MatchesSectionsAndKeysRegardlessOfCaseAndGivesDefaults) {
    TempDir dir;
    std::string path = dir.Write("zrn.ini",
                                 "; comment\n[Other]\nDIR=wrong\n[zrn]\n  dir = /data/zrn  \n[DATABASE]\nODBC=\n");
    ProfileReader profile(path);
    EXPECT_EQ(profile.Get("ZRN", "DIR", "\\", 4096), "/data/zrn");
    EXPECT_EQ(profile.Get("ZRN", "MISSING", "def", 4096), "def");
    EXPECT_EQ(profile.Get("NOSECTION", "DIR", "def", 4096), "def");
    EXPECT_EQ(profile.Get("DATABASE", "ODBC", "ZRN", 32), "") << "a present empty key is empty, not the default";
    EXPECT_EQ(ProfileReader(dir.Path() + "/absent.ini").Get("ZRN", "DIR", "\\", 4096), "\\");
    EXPECT_EQ(profile.Get("ZRN", "DIR", "", 5), "/dat");
}

TEST(ProfileReader, ReadsAFileThatBeginsWithAByteOrderMark) {
    TempDir dir;
    ProfileReader profile(dir.Write("zrn.ini", "\xEF\xBB\xBF[DATABASE]\r\nODBC=FROMWINDOWS\r\n"));
    EXPECT_EQ(profile.Get("DATABASE", "ODBC", "ZRN", 32), "FROMWINDOWS");
}

TEST(ConfigFile, EnvironmentVariableWinsThenFoldersInOrderRegardlessOfCase) {
    TempDir work, xdg;
    const std::string oldCwd = fs::current_path().string();
    const char* oldIni = std::getenv("ZRN_INI");
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    std::string savedIni = oldIni ? oldIni : "", savedXdg = oldXdg ? oldXdg : "";

    fs::current_path(work.Path());
    unsetenv("ZRN_INI");
    setenv("XDG_CONFIG_HOME", xdg.Path().c_str(), 1);

    std::string inXdg = xdg.Write("ZRN.INI", "[DATABASE]\n");
    EXPECT_EQ(FindConfigFile(), inXdg);
    std::string inWork = work.Write("Zrn.ini", "[DATABASE]\n");
    EXPECT_EQ(fs::path(FindConfigFile()).filename(), "Zrn.ini");
    setenv("ZRN_INI", "/somewhere/else.ini", 1);
    EXPECT_EQ(FindConfigFile(), "/somewhere/else.ini");

    fs::current_path(oldCwd);
    if (oldIni) setenv("ZRN_INI", savedIni.c_str(), 1); else unsetenv("ZRN_INI");
    if (oldXdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
    (void)inWork;
}
