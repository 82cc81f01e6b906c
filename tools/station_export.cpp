// station-export: writes the station catalogue as FDSN StationXML 1.2.

#include <iostream>

#include "tools/export_program.h"

int main(int argc, char** argv) { return RunStationExport(argc, argv, std::cout, std::cerr); }
