// station-restore: puts a station back as it was before a journal entry.

#include <iostream>

#include "settings/program_start.h"
#include "tools/journal_programs.h"

int main(int argc, char** argv) {
    KeepUserDataSourceFileUncreated();
    return RunStationRestore(argc, argv, std::cout, std::cerr);
}
