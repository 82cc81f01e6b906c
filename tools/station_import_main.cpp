// station-import: brings stations from a StationXML file into the catalogue.

#include <iostream>

#include "settings/program_start.h"
#include "tools/import_program.h"

int main(int argc, char** argv) {
    KeepUserDataSourceFileUncreated();
    return RunStationImport(argc, argv, std::cout, std::cerr);
}
