#pragma once
// The connection values every session of the program is opened with.

#include <string>

#include "settings/command_line.h"

class ProfileReader;

// Data source, user and password, filled once at start-up.
struct ConnectionSettings {
    std::string DataSource;  // at most 31 characters
    std::string User;        // at most 63 characters
    std::string Password;    // at most 63 characters
};

// Each value from the command line when given there, else from section
// "DATABASE" of the configuration file, else its default (ZRN, ZRN, PJQ).
ConnectionSettings ResolveConnectionSettings(const CommandLineValues& commandLine, const ProfileReader& profile);

// "DSN=<source>;UID=<user>;PWD=<password>;", each value as ConnectStringValue
// writes it.
std::string BuildConnectString(const ConnectionSettings& settings);

// A value as a connect string holds it: as it is, or, when it holds ";", "{"
// or "}" or begins or ends with a blank, braced as {...} with each "}" doubled,
// so that the driver reads back exactly the value.
std::string ConnectStringValue(const std::string& value);
