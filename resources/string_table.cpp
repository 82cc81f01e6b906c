#include "resources/string_table.h"

#include <map>

namespace {

const std::map<int, std::string>& Table() {
    static const std::map<int, std::string> table = {
        {str::FieldAddError, "Ошибка добавления поля %s в таблицу %s"},
        {str::DatabaseError, "Ошибка базы данных: "},
        {str::DatabaseInitError, "Ошибка инициализации базы данных"},
        {str::TransactionError, "Ошибка начала транзакции в базе данных"},
        {str::DeleteQuestion, "Вы уверены, что хотите удалить информацию о станции %s"},
        {str::Attention, "Внимание!"},
        {str::DatabaseOpenError, "Ошибка открытия базы данных -> %s"},
        {str::ChooseResponseTitle, "Выбрать файл с АЧХ"},
        {str::ChangedSinceLoaded,
         "Станция %s изменена в базе данных после загрузки. Записать ваши изменения поверх?"},
        {str::DeleteChangedQuestion, "Станция %s изменена в базе данных после загрузки. Всё равно удалить?"},
        {str::StationCodeMissing, "Введите код станции: станция без кода не записывается."},
        {str::StationIndexOutOfRange, "Номер станции %s не помещается в столбец NINDEX"},
        {str::CatalogueBusy, "Каталог станций занят другой записью дольше %s с. Повторите позже."},
        {str::UndoSaveQuestion,
         "Отменить сохранение станции %s, сделанное в %s? Станция и все её каналы станут такими, "
         "какими были до этого сохранения."},
        {str::UndoCreateQuestion,
         "Отменить создание станции %s, сделанное в %s? До него такой станции в базе не было: "
         "она будет удалена вместе с каналами."},
        {str::UndoDeleteQuestion,
         "Отменить удаление станции %s, сделанное в %s? Станция вернётся в базу вместе со всеми "
         "каналами, такой, какой была до удаления."},
        {str::UndoChangedQuestion,
         "Станция %s изменена в базе данных после этого. Всё равно вернуть её такой, какой она была?"},
        {str::UndoReason, "отмена в редакторе"},
        {str::UndoNotJournaled,
         "Изменения станций в этой базе данных не записываются в журнал, поэтому отменить их нельзя."},
        {str::ConfigNotFound,
         "Файл настройки zrn.ini не найден (искали: переменная ZRN_INI, ./zrn.ini, "
         "$XDG_CONFIG_HOME/zrn.ini или ~/.config/zrn.ini, /etc/zrn.ini)"},
        {str::ConfigFileMissing, "Файл настройки %s не найден"},
        {str::PersonalDatabaseCreated,
         "Файл настройки zrn.ini не найден, поэтому для вас создана новая, пока пустая база данных "
         "станций. Всё, что вы запишете, хранится в файле:\n%s\n\n"
         "Чтобы работать с общей базой данных, укажите её в файле ~/.config/zrn.ini "
         "(см. man station-editor)."},
        {str::DriverPackageMissing,
         "Драйвер ODBC «%s» не установлен: он входит в пакет Debian %s, установите этот пакет."},
        {str::ConfigFileRead, "Файл настройки: %s"},
        {str::ConfigFileUnreadable, "Файл настройки %s не удалось прочитать: %s"},
        {str::JournalUnavailable,
         "Изменения станций не записываются в журнал: в базе данных нет таблицы STATION_JOURNAL, "
         "а создать её под вашим именем пользователя не удалось. Работать можно, но историю изменений "
         "и их отмену программа вести не будет. Попросите администратора базы данных запустить "
         "station-upgrade.\n\nОтвет базы данных: %s"},
        {str::PersonalDatabaseMissing,
         "Личной базы данных %s нет: её создаёт station-editor при первом запуске без zrn.ini."},
    };
    return table;
}

}  // namespace

const std::string& LoadString(int number) {
    static const std::string empty;
    auto it = Table().find(number);
    return it == Table().end() ? empty : it->second;
}

std::string FormatString(int number, const std::string& first, const std::string& second) {
    const std::string& pattern = LoadString(number);
    std::string out;
    const std::string* args[] = {&first, &second};
    int next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && next < 2) {
            out += *args[next++];
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

std::string ColumnUpgradeFailureText(const std::string& table, const std::string& column,
                                     const std::string& driverText) {
    return LoadString(str::DatabaseError) + FormatString(str::FieldAddError, column, table) + driverText;
}
