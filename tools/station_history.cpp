// station-history: shows the journal of station changes.

#include <iostream>

#include "settings/program_start.h"
#include "tools/journal_programs.h"

int main(int argc, char** argv) {
    KeepUserDataSourceFileUncreated();
    return RunStationHistory(argc, argv, std::cout, std::cerr);
}
