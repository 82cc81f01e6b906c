#include "resources/form_template.h"

#include <algorithm>

#include "resources/control_ids.h"

namespace res {
namespace {

using K = ControlKind;
using S = Style;

// Every control of the station form in tab order among the TabStop entries.
// Labels precede the control they name; rules and frames carry id -1.
// Rectangles are x, y, width, height in dialog units.
constexpr ControlTemplate kControls[] = {
    // station column
    {-1, K::Label, S::None, "Станция (код)", 7, 9, 50, 8},
    {ctl::StationCode, K::ComboBox, S::UpperCase | S::AutoHScroll | S::Sorted | S::TabStop, "", 60, 7, 85, 12},
    {-1, K::HRule, S::None, "", 7, 23, 138, 1},
    {-1, K::Label, S::None, "Междуна- родн. код", 7, 26, 50, 16},
    {ctl::IntlCode, K::Edit, S::TabStop, "", 60, 28, 85, 12},
    {-1, K::HRule, S::None, "", 7, 45, 138, 1},
    {-1, K::Label, S::None, "Широта, град", 7, 50, 50, 8},
    {ctl::Latitude, K::Edit, S::TabStop, "", 60, 48, 85, 12},
    {-1, K::HRule, S::None, "", 7, 64, 138, 1},
    {-1, K::Label, S::None, "Долгота, град", 7, 69, 50, 8},
    {ctl::Longitude, K::Edit, S::TabStop, "", 60, 67, 85, 12},
    {-1, K::HRule, S::None, "", 7, 83, 138, 1},
    {-1, K::Label, S::None, "Высота, м", 7, 88, 50, 8},
    {ctl::Elevation, K::Edit, S::TabStop, "", 60, 86, 85, 12},
    {-1, K::HRule, S::None, "", 7, 102, 138, 1},
    {-1, K::Label, S::None, "Номер в БД", 7, 107, 50, 8},
    {ctl::DbNumber, K::Edit, S::AutoHScroll | S::TabStop, "", 60, 105, 85, 12},
    {-1, K::HRule, S::None, "", 7, 121, 138, 1},
    {-1, K::Label, S::None, "Название (русское)", 7, 126, 138, 8},
    {ctl::NameRu, K::Edit, S::AutoHScroll | S::TabStop, "", 7, 135, 138, 12},
    {-1, K::Label, S::None, "Название (английское)", 7, 150, 138, 8},
    {ctl::NameEn, K::Edit, S::AutoHScroll | S::TabStop, "", 7, 159, 138, 12},
    {-1, K::Label, S::None, "Почва", 7, 174, 138, 8},
    {ctl::Ground, K::Edit, S::AutoHScroll | S::TabStop, "", 7, 183, 138, 12},
    {-1, K::Label, S::None, "Открыта (yyyy-mo-dd hh:mi:ss)", 7, 198, 138, 8},
    {ctl::OnDate, K::Edit, S::AutoHScroll | S::TabStop, "", 7, 207, 138, 12},
    {-1, K::Label, S::None, "Закрыта (yyyy-mo-dd hh:mi:ss)", 7, 222, 138, 8},
    {ctl::OffDate, K::Edit, S::AutoHScroll | S::TabStop, "", 7, 231, 138, 12},
    {-1, K::VRule, S::None, "", 152, 7, 1, 238},
    // channel grid
    {-1, K::GroupBox, S::None, "Группы каналов", 158, 5, 303, 139},
    {-1, K::Label, S::None, "Z", 177, 17, 40, 16},
    {-1, K::Label, S::None, "N", 224, 17, 40, 16},
    {-1, K::Label, S::None, "E", 271, 17, 40, 16},
    {-1, K::Label, S::None, "Код расположения", 318, 17, 54, 16},
    {-1, K::Label, S::None, "Отсч./сек.", 378, 17, 34, 16},
    {-1, K::Label, S::None, "Тип датчика", 418, 17, 39, 16},
    {-1, K::VRule, S::None, "", 174, 17, 1, 124},
    {-1, K::VRule, S::None, "", 221, 17, 1, 124},
    {-1, K::VRule, S::None, "", 268, 17, 1, 124},
    {-1, K::VRule, S::None, "", 315, 17, 1, 124},
    {-1, K::VRule, S::None, "", 375, 17, 1, 124},
    {-1, K::VRule, S::None, "", 415, 17, 1, 124},
    {-1, K::HRule, S::None, "", 162, 34, 295, 1},
    // group 1
    {-1, K::Label, S::None, "1", 162, 39, 10, 8},
    {ctl::ChanName(ctl::CellIndex(1, 0)), K::Edit, S::UpperCase | S::TabStop, "", 177, 37, 28, 12},
    {ctl::ChanName(ctl::CellIndex(1, 1)), K::Edit, S::UpperCase | S::TabStop, "", 224, 37, 28, 12},
    {ctl::ChanName(ctl::CellIndex(1, 2)), K::Edit, S::UpperCase | S::TabStop, "", 271, 37, 28, 12},
    {ctl::LocCode(1), K::ComboBox, S::AutoHScroll | S::Sorted | S::TabStop, "", 318, 37, 54, 12},
    {ctl::SampleRate(1), K::Edit, S::TabStop, "", 378, 37, 34, 12},
    {ctl::SensorType(1), K::Edit, S::UpperCase | S::TabStop, "", 418, 37, 39, 12},
    {-1, K::HRule, S::None, "", 162, 51, 295, 1},
    // group 2
    {-1, K::Label, S::None, "2", 162, 54, 10, 8},
    {ctl::ChanName(ctl::CellIndex(2, 0)), K::Edit, S::UpperCase | S::TabStop, "", 177, 52, 28, 12},
    {ctl::ChanName(ctl::CellIndex(2, 1)), K::Edit, S::UpperCase | S::TabStop, "", 224, 52, 28, 12},
    {ctl::ChanName(ctl::CellIndex(2, 2)), K::Edit, S::UpperCase | S::TabStop, "", 271, 52, 28, 12},
    {ctl::LocCode(2), K::ComboBox, S::AutoHScroll | S::Sorted | S::TabStop, "", 318, 52, 54, 12},
    {ctl::SampleRate(2), K::Edit, S::TabStop, "", 378, 52, 34, 12},
    {ctl::SensorType(2), K::Edit, S::UpperCase | S::TabStop, "", 418, 52, 39, 12},
    {-1, K::HRule, S::None, "", 162, 66, 295, 1},
    // group 3
    {-1, K::Label, S::None, "3", 162, 69, 10, 8},
    {ctl::ChanName(ctl::CellIndex(3, 0)), K::Edit, S::UpperCase | S::TabStop, "", 177, 67, 28, 12},
    {ctl::ChanName(ctl::CellIndex(3, 1)), K::Edit, S::UpperCase | S::TabStop, "", 224, 67, 28, 12},
    {ctl::ChanName(ctl::CellIndex(3, 2)), K::Edit, S::UpperCase | S::TabStop, "", 271, 67, 28, 12},
    {ctl::LocCode(3), K::ComboBox, S::AutoHScroll | S::Sorted | S::TabStop, "", 318, 67, 54, 12},
    {ctl::SampleRate(3), K::Edit, S::TabStop, "", 378, 67, 34, 12},
    {ctl::SensorType(3), K::Edit, S::UpperCase | S::TabStop, "", 418, 67, 39, 12},
    {-1, K::HRule, S::None, "", 162, 81, 295, 1},
    // group 4
    {-1, K::Label, S::None, "4", 162, 84, 10, 8},
    {ctl::ChanName(ctl::CellIndex(4, 0)), K::Edit, S::UpperCase | S::TabStop, "", 177, 82, 28, 12},
    {ctl::ChanName(ctl::CellIndex(4, 1)), K::Edit, S::UpperCase | S::TabStop, "", 224, 82, 28, 12},
    {ctl::ChanName(ctl::CellIndex(4, 2)), K::Edit, S::UpperCase | S::TabStop, "", 271, 82, 28, 12},
    {ctl::LocCode(4), K::ComboBox, S::AutoHScroll | S::Sorted | S::TabStop, "", 318, 82, 54, 12},
    {ctl::SampleRate(4), K::Edit, S::TabStop, "", 378, 82, 34, 12},
    {ctl::SensorType(4), K::Edit, S::UpperCase | S::TabStop, "", 418, 82, 39, 12},
    {-1, K::HRule, S::None, "", 162, 96, 295, 1},
    // group 5
    {-1, K::Label, S::None, "5", 162, 99, 10, 8},
    {ctl::ChanName(ctl::CellIndex(5, 0)), K::Edit, S::UpperCase | S::TabStop, "", 177, 97, 28, 12},
    {ctl::ChanName(ctl::CellIndex(5, 1)), K::Edit, S::UpperCase | S::TabStop, "", 224, 97, 28, 12},
    {ctl::ChanName(ctl::CellIndex(5, 2)), K::Edit, S::UpperCase | S::TabStop, "", 271, 97, 28, 12},
    {ctl::LocCode(5), K::ComboBox, S::AutoHScroll | S::Sorted | S::TabStop, "", 318, 97, 54, 12},
    {ctl::SampleRate(5), K::Edit, S::TabStop, "", 378, 97, 34, 12},
    {ctl::SensorType(5), K::Edit, S::UpperCase | S::TabStop, "", 418, 97, 39, 12},
    {-1, K::HRule, S::None, "", 162, 111, 295, 1},
    // group 6
    {-1, K::Label, S::None, "6", 162, 114, 10, 8},
    {ctl::ChanName(ctl::CellIndex(6, 0)), K::Edit, S::UpperCase | S::TabStop, "", 177, 112, 28, 12},
    {ctl::ChanName(ctl::CellIndex(6, 1)), K::Edit, S::UpperCase | S::TabStop, "", 224, 112, 28, 12},
    {ctl::ChanName(ctl::CellIndex(6, 2)), K::Edit, S::UpperCase | S::TabStop, "", 271, 112, 28, 12},
    {ctl::LocCode(6), K::ComboBox, S::AutoHScroll | S::Sorted | S::TabStop, "", 318, 112, 54, 12},
    {ctl::SampleRate(6), K::Edit, S::TabStop, "", 378, 112, 34, 12},
    {ctl::SensorType(6), K::Edit, S::UpperCase | S::TabStop, "", 418, 112, 39, 12},
    {-1, K::HRule, S::None, "", 162, 126, 295, 1},
    // group 7
    {-1, K::Label, S::None, "7", 162, 129, 10, 8},
    {ctl::ChanName(ctl::CellIndex(7, 0)), K::Edit, S::UpperCase | S::TabStop, "", 177, 127, 28, 12},
    {ctl::ChanName(ctl::CellIndex(7, 1)), K::Edit, S::UpperCase | S::TabStop, "", 224, 127, 28, 12},
    {ctl::ChanName(ctl::CellIndex(7, 2)), K::Edit, S::UpperCase | S::TabStop, "", 271, 127, 28, 12},
    {ctl::LocCode(7), K::ComboBox, S::AutoHScroll | S::Sorted | S::TabStop, "", 318, 127, 54, 12},
    {ctl::SampleRate(7), K::Edit, S::TabStop, "", 378, 127, 34, 12},
    {ctl::SensorType(7), K::Edit, S::UpperCase | S::TabStop, "", 418, 127, 39, 12},
    // below the grid
    {-1, K::Label, S::None, "К-во групп каналов:", 162, 152, 80, 8},
    {ctl::GroupCount, K::Edit, S::DigitsOnly | S::TabStop, "", 244, 150, 24, 12},
    {-1, K::GroupBox, S::None, "Положение в сейсмической группе", 158, 168, 225, 77},
    {-1, K::Label, S::None, "Центральная точка", 164, 182, 136, 8},
    {ctl::CentralPoint, K::ComboBox, S::UpperCase | S::AutoHScroll | S::Sorted | S::TabStop, "", 306, 180, 70, 12},
    {-1, K::Label, S::None, "Смещение от центральной точки к северу (км)", 164, 198, 136, 16},
    {ctl::OffsetNorth, K::Edit, S::AutoHScroll | S::TabStop, "", 306, 200, 70, 12},
    {-1, K::Label, S::None, "Смещение от центральной точки к востоку(км)", 164, 222, 136, 16},
    {ctl::OffsetEast, K::Edit, S::AutoHScroll | S::TabStop, "", 306, 224, 70, 12},
    // buttons
    {ctl::Save, K::DefPushButton, S::TabStop, "Записать в БД", 392, 187, 69, 14},
    {ctl::Delete, K::PushButton, S::TabStop, "Удалить из БД", 392, 207, 69, 14},
    {ctl::Leave, K::PushButton, S::TabStop, "Выйти", 392, 231, 69, 14},
    // response buttons, after everything else in tab order
    {ctl::ResponseButton(ctl::CellIndex(1, 0)), K::IconButton, S::TabStop, "", 206, 37, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(1, 1)), K::IconButton, S::TabStop, "", 253, 37, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(1, 2)), K::IconButton, S::TabStop, "", 300, 37, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(2, 0)), K::IconButton, S::TabStop, "", 206, 52, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(2, 1)), K::IconButton, S::TabStop, "", 253, 52, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(2, 2)), K::IconButton, S::TabStop, "", 300, 52, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(3, 0)), K::IconButton, S::TabStop, "", 206, 67, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(3, 1)), K::IconButton, S::TabStop, "", 253, 67, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(3, 2)), K::IconButton, S::TabStop, "", 300, 67, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(4, 0)), K::IconButton, S::TabStop, "", 206, 82, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(4, 1)), K::IconButton, S::TabStop, "", 253, 82, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(4, 2)), K::IconButton, S::TabStop, "", 300, 82, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(5, 0)), K::IconButton, S::TabStop, "", 206, 97, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(5, 1)), K::IconButton, S::TabStop, "", 253, 97, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(5, 2)), K::IconButton, S::TabStop, "", 300, 97, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(6, 0)), K::IconButton, S::TabStop, "", 206, 112, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(6, 1)), K::IconButton, S::TabStop, "", 253, 112, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(6, 2)), K::IconButton, S::TabStop, "", 300, 112, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(7, 0)), K::IconButton, S::TabStop, "", 206, 127, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(7, 1)), K::IconButton, S::TabStop, "", 253, 127, 12, 12},
    {ctl::ResponseButton(ctl::CellIndex(7, 2)), K::IconButton, S::TabStop, "", 300, 127, 12, 12},
};

constexpr DialogTemplate kStationForm{
    ctl::Dialog, "Установка параметров станции", 468, 252, "MS Sans Serif", 8, kControls,
};

}  // namespace

const DialogTemplate& StationFormTemplate() { return kStationForm; }

const ControlTemplate* FindControl(int id) {
    if (id < 0) return nullptr;
    const auto* it = std::find_if(std::begin(kControls), std::end(kControls),
                                  [id](const ControlTemplate& c) { return c.id == id; });
    return it == std::end(kControls) ? nullptr : it;
}

}  // namespace res
