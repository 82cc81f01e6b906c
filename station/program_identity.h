#pragma once
// The name and version of the running program, set once at its start and
// recorded with every change it journals.

#include <string>

// The running program as the journal names it.
struct ProgramIdentity {
    std::string name;     // "station-editor", "station-import", ...
    std::string version;  // the package version
};

// Set by every program at its start (AnswerInformationRequest does it).
void SetProgramIdentity(std::string name, std::string version);
// The identity set last; "unknown" with an empty version before any was set.
ProgramIdentity CurrentProgramIdentity();
