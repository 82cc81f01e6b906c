#pragma once
// Dialog units to pixels, from the metrics of the form's font: a horizontal
// unit is a quarter of the average character width, a vertical unit an eighth
// of the character height, so the form scales with font and screen.

#include <QFont>
#include <QRect>

namespace platform::qt {

// The conversion for one font.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;

private:
    double charWidth_;
    double charHeight_;
};

}  // namespace platform::qt
