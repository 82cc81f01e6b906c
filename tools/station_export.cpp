// station-export: writes the station catalogue as FDSN StationXML 1.2.

#include <iostream>

#include "settings/program_start.h"
#include "tools/export_program.h"

int main(int argc, char** argv) {
    KeepUserDataSourceFileUncreated();
    return RunStationExport(argc, argv, std::cout, std::cerr);
}
