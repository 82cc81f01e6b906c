#include "platform/qt/dialog_units.h"

#include <QFontMetricsF>
#include <cmath>

namespace platform::qt {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    // The average width over the Latin letters, as dialog units have always
    // been measured.
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    charWidth_ = metrics.horizontalAdvance(letters) / static_cast<double>(letters.size());
    charHeight_ = metrics.height();
}

int DialogUnits::X(int units) const { return static_cast<int>(std::lround(units * charWidth_ / 4.0)); }

int DialogUnits::Y(int units) const { return static_cast<int>(std::lround(units * charHeight_ / 8.0)); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    const int left = X(x), top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

}  // namespace platform::qt
