// station-editor: the station catalogue editor.

#include <iostream>

#include "settings/command_line.h"
#include "settings/config_file.h"
#include "settings/program_start.h"
#include "app/station_app.h"
#include "platform/qt/qt_dialog_port.h"

namespace {

void WriteHelp(std::ostream& out) {
    out << "Использование: station-editor [СТАНЦИЯ] [ODBC=dsn] [USER=u] [PASSWORD=p]\n"
           "\n"
           "Редактор каталога станций (таблицы SITE и SITECHAN) сейсмологической базы данных CSS 3.0.\n"
           "Форма открывается на станции с кодом СТАНЦИЯ (первое слово командной строки).\n"
           "\n";
    WriteDatabaseHelp(out);
    out << "\n"
           "  --help      эта справка\n"
           "  --version   версия программы\n"
           "\n"
           "Код выхода: 0 после закрытия формы, 1 если базу данных открыть не удалось.\n"
           "Подробнее: man station-editor.\n";
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before the window system is touched, so also without a display.
    if (const auto status = AnswerInformationRequest(argc, argv, "station-editor", WriteHelp, std::cout)) return *status;
    KeepUserDataSourceFileUncreated();
    platform::QtDialogPort port(argc, argv);
    CStationApp app(port, JoinArguments(argc, argv), ProfileReader(FindConfigFile()));
    app.StartUp();
    return app.ExitStatus();
}
