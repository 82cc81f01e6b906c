// station-editor: the station catalogue editor.

#include "app/command_line.h"
#include "app/config_file.h"
#include "app/station_app.h"
#include "platform/qt/qt_dialog_port.h"

int main(int argc, char** argv) {
    platform::QtDialogPort port(argc, argv);
    CStationApp app(port, JoinArguments(argc, argv), ProfileReader(FindConfigFile()));
    app.StartUp();
    return 0;
}
