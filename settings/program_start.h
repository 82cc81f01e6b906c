#pragma once
// What every program of the project does first: answer --help and --version
// (before any window or database), and keep the ODBC driver manager from
// creating files the user did not ask for.

#include <functional>
#include <optional>
#include <ostream>
#include <string>

// When an argument is --help (or -h) or --version: writes the help (through
// `writeHelp`) or "<program>, версия <version>" to `out` and answers the exit
// status 0; nullopt otherwise.
std::optional<int> AnswerInformationRequest(int argc, char** argv, const std::string& program,
                                            const std::function<void(std::ostream&)>& writeHelp, std::ostream& out);

// The program's version, as the package carries it.
const char* ProgramVersion();

// The paragraph every program's help gives on which database it works on.
void WriteDatabaseHelp(std::ostream& out);

// unixODBC creates the user's data-source file (the file named by ODBCINI,
// else .odbc.ini in the home folder of the user's account) whenever it looks
// up a data source. When that file does not exist, ODBCINI is pointed at
// /dev/null for this process: the user has no data sources of his own, and
// no empty file is left behind. `accountHome` is the account's home folder.
void KeepUserDataSourceFileUncreated(const std::string& accountHome);
// The same for the account the process runs as.
void KeepUserDataSourceFileUncreated();
