#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace dm {

// Dialog units of a font: a horizontal unit is a quarter of the font's average character
// width, a vertical unit an eighth of its height, so layouts keep their proportions.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    int x(int units) const { return (units * baseX + 2) / 4; }
    int y(int units) const { return (units * baseY + 4) / 8; }
    QRect rect(int left, int top, int width, int height) const {
        return QRect(x(left), y(top), x(width), y(height));
    }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }

    int baseX = 0;
    int baseY = 0;
};

// The font, made smaller in half-point steps down to minimumPoints, until a layout of the
// given size in its dialog units fits into room (in pixels). Returned as given when it fits.
QFont fontThatFits(QFont font, QSize layoutUnits, QSize room, double minimumPoints = 6.0);

}  // namespace dm
