// station-serve: the FDSN station web service on the station catalogue.

#include <iostream>

#include "settings/program_start.h"
#include "tools/serve_program.h"

int main(int argc, char** argv) {
    KeepUserDataSourceFileUncreated();
    return RunStationServe(argc, argv, std::cout, std::cerr);
}
