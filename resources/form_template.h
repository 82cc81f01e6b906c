#pragma once
// The station form's template: the dialog and every control, as data. The Qt
// layer builds the window from it and the in-memory fake its controls, so both
// have the same controls.

#include <span>

namespace res {

// What a control is.
enum class ControlKind {
    Label,          // static text
    Edit,           // single-line edit
    ComboBox,       // edit field with a sorted drop-down list
    PushButton,
    DefPushButton,  // the default button (Enter)
    IconButton,     // small push button showing an icon, no caption
    GroupBox,       // a captioned frame
    Frame,          // a plain etched frame
    HRule,          // thin horizontal rule
    VRule,          // thin vertical rule
};

// Style bits of a control.
enum Style : unsigned {
    None = 0,
    UpperCase = 1u << 0,    // typed letters become capitals (Cyrillic too)
    DigitsOnly = 1u << 1,   // only digits can be typed
    AutoHScroll = 1u << 2,  // text may be longer than the box
    Sorted = 1u << 3,       // combo list kept sorted
    TabStop = 1u << 4,
    Disabled = 1u << 5,
};

// One control: its number (-1 for unnumbered labels and rules), kind, styles,
// label or caption (UTF-8), and place in dialog units. Tab order is the order
// of the table among the controls with TabStop.
struct ControlTemplate {
    int id;
    ControlKind kind;
    unsigned styles;
    const char* text;
    int x, y, width, height;
};

// The dialog: number, caption, size in dialog units, font, controls.
struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;
    const char* fontFace;
    int pointSize;
    std::span<const ControlTemplate> controls;
};

// Dialog 102, the station form.
const DialogTemplate& StationFormTemplate();

// The control with that number, or nullptr.
const ControlTemplate* FindControl(int id);

}  // namespace res
