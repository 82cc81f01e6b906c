#pragma once
// The command line: the station to show first and the connection tokens.

#include <string>
#include <vector>

// Values of the tokens "ODBC=", "USER=" and "PASSWORD=", empty when absent.
struct CommandLineValues {
    std::string DataSource;
    std::string User;
    std::string Password;
};

// Longest station code the command line gives (characters).
inline constexpr size_t kStationCodeCapacity = 19;
// Longest command line read (characters).
inline constexpr size_t kCommandLineCapacity = 1023;

// The first blank-separated token, upper-cased and cut to the capacity, in
// `code`; false when the line holds nothing but blanks.
bool ParseStationCode(const std::string& commandLine, std::string& code);

// The three key tokens, searched case-sensitively anywhere in the line; a
// value runs to the next blank.
CommandLineValues ParseCommandLine(const std::string& commandLine);

// The program's arguments joined with blanks, as one command line.
std::string JoinArguments(int argc, char** argv);

// The arguments of a command-line program without a form: its connection
// tokens and the other arguments in their order.
struct ProgramArguments {
    CommandLineValues connection;
    std::vector<std::string> others;
};

// Each argument that starts with "ODBC=", "USER=" or "PASSWORD=" gives that
// value (the whole rest of the argument, so a quoted value may hold blanks;
// a later one wins); every other argument is kept in `others`.
ProgramArguments SplitProgramArguments(int argc, char** argv);
