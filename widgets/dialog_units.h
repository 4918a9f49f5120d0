// Dialog units to pixels for the program's dialogs. Their layouts are given in
// the classic dialog units of "MS Sans Serif" 8; one fixed factor keeps every
// dialog in the proportions of its layout: 1 unit across = 1.5 px, 1 unit
// down = 1.625 px.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <cmath>

namespace bkf::gui {

inline constexpr double kDialogUnitX = 1.5;
inline constexpr double kDialogUnitY = 1.625;

inline int dluX(int units) {
    return static_cast<int>(std::lround(units * kDialogUnitX));
}
inline int dluY(int units) {
    return static_cast<int>(std::lround(units * kDialogUnitY));
}

inline QSize dluSize(int width, int height) {
    return {dluX(width), dluY(height)};
}

// The dialogs' font: "MS Sans Serif" 8 where it exists, otherwise the
// system's sans-serif face at 8 points.
inline QFont dialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

// A control at (x, y) with size (width, height), all in dialog units. Right
// and bottom edges are rounded on their own so neighbours do not drift apart.
inline QRect dluRect(int x, int y, int width, int height) {
    const int left = dluX(x);
    const int top = dluY(y);
    return QRect(left, top, dluX(x + width) - left, dluY(y + height) - top);
}

// A static text placed at (x, y, width, height) whose text may need more room
// in the sans-serif face that stands in for "MS Sans Serif": it may run on
// up to `nextX`, where the control beside it begins (all in dialog units).
inline QRect labelRect(int x, int y, int width, int height, int nextX) {
    return dluRect(x, y, width > nextX - x - 2 ? width : nextX - x - 2, height);
}

}  // namespace bkf::gui
