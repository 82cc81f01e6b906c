#pragma once
// The string table: the system's fixed Russian texts by number.

#include <string>

namespace str {
inline constexpr int FieldAddError = 4;         // "Ошибка добавления поля %s в таблицу %s"
inline constexpr int DatabaseError = 832;       // "Ошибка базы данных: "
inline constexpr int DatabaseInitError = 833;   // "Ошибка инициализации базы данных"
inline constexpr int TransactionError = 834;    // "Ошибка начала транзакции в базе данных"
inline constexpr int DeleteQuestion = 835;      // "Вы уверены, что хотите удалить информацию о станции %s"
inline constexpr int Attention = 836;           // "Внимание!"
inline constexpr int DatabaseOpenError = 837;   // "Ошибка открытия базы данных -> %s"
inline constexpr int ChooseResponseTitle = 838; // "Выбрать файл с АЧХ"
inline constexpr int ChangedSinceLoaded = 839;  // "Станция %s изменена в базе данных после загрузки. ..."
inline constexpr int DeleteChangedQuestion = 980;  // "Станция %s изменена в базе данных после загрузки. Всё равно удалить?"
inline constexpr int StationCodeMissing = 981;     // "Введите код станции: станция без кода не записывается."
inline constexpr int StationIndexOutOfRange = 982;  // "Номер станции %s не помещается в столбец NINDEX"
inline constexpr int CatalogueBusy = 990;  // "Каталог станций занят другой записью дольше %s с. ..."
inline constexpr int UndoSaveQuestion = 1101;    // "Отменить сохранение станции %s, сделанное в %s? ..."
inline constexpr int UndoCreateQuestion = 1102;  // "Отменить создание станции %s, сделанное в %s? ..."
inline constexpr int UndoDeleteQuestion = 1103;  // "Отменить удаление станции %s, сделанное в %s? ..."
inline constexpr int UndoChangedQuestion = 1104; // "Станция %s изменена в базе данных после этого. ..."
inline constexpr int UndoReason = 1105;          // "отмена в редакторе"
inline constexpr int UndoNotJournaled = 1106;    // "Изменения не записываются в журнал, ..."
inline constexpr int ConfigNotFound = 901;      // "Файл настройки zrn.ini не найден (...)"
inline constexpr int ConfigFileMissing = 902;   // "Файл настройки %s не найден"
inline constexpr int PersonalDatabaseCreated = 903;  // "Создана новая база данных станций ... %s ..."
inline constexpr int DriverPackageMissing = 950;     // "Драйвер ODBC «%s» не установлен: ... пакет Debian %s ..."
inline constexpr int ConfigFileRead = 951;           // "Файл настройки: %s"
inline constexpr int PersonalDatabaseMissing = 952;  // "Личной базы данных %s нет: ..."
inline constexpr int ConfigFileUnreadable = 953;     // "Файл настройки %s не удалось прочитать: %s"
inline constexpr int JournalUnavailable = 960;       // "Изменения станций не записываются в журнал: ... %s"
}  // namespace str

// The text of string `number`; empty for a number the table does not hold.
const std::string& LoadString(int number);

// A string of the table with each "%s" replaced, in order, by the arguments.
std::string FormatString(int number, const std::string& first, const std::string& second = {});

// The message of a schema column the upgrade could not add or re-declare:
// strings 832 and 4 with the column and table, then the driver's text.
std::string ColumnUpgradeFailureText(const std::string& table, const std::string& column,
                                     const std::string& driverText);
