// station-check: checks the station catalogue for the faults that matter to
// the form, without writing to the database.

#include <iostream>

#include "settings/program_start.h"
#include "tools/check_program.h"

int main(int argc, char** argv) {
    KeepUserDataSourceFileUncreated();
    return RunStationCheck(argc, argv, std::cout, std::cerr);
}
