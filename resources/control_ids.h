#pragma once
// Control numbers of the station form (dialog template 102).

namespace ctl {

inline constexpr int Dialog = 102;
inline constexpr int AppIcon = 128;

inline constexpr int Save = 1;    // "Записать в БД", the default button
inline constexpr int Leave = 2;   // "Выйти"
inline constexpr int Delete = 3;  // "Удалить из БД"

inline constexpr int StationCode = 1000;
inline constexpr int Latitude = 1001;
inline constexpr int Longitude = 1002;
inline constexpr int Elevation = 1003;
inline constexpr int CentralPoint = 1004;
inline constexpr int IntlCode = 1005;
inline constexpr int DbNumber = 1006;
inline constexpr int GroupCount = 1007;
inline constexpr int NameRu = 1008;
inline constexpr int OffsetNorth = 1089;
inline constexpr int OffsetEast = 1090;
inline constexpr int NameEn = 1091;
inline constexpr int Ground = 1092;
inline constexpr int OnDate = 1095;
inline constexpr int OffDate = 1096;

// Rows of the channel grid: one per channel group the catalogue has (the
// form checks them against the catalogue's description, which resources/
// does not include: it sits below station/).
inline constexpr int GroupCountMax = 7;
inline constexpr int CellCount = 21;  // 7 groups of Z, N, E

// Cell k = 3(g-1)+j for group g (1..7) and component j (Z 0, N 1, E 2).
constexpr int CellIndex(int group, int component) { return 3 * (group - 1) + component; }
constexpr int ChanName(int cell) { return 1109 + cell; }
constexpr int ResponseButton(int cell) { return 1330 + cell; }
constexpr int SampleRate(int group) { return 1200 + group; }
constexpr int LocCode(int group) { return 1400 + group; }
constexpr int SensorType(int group) { return 1500 + group; }

}  // namespace ctl
