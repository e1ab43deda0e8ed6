#include "app/dialog_units.h"

#include <QFontMetrics>

namespace dm {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // Average width over the Latin letters, rounded the way dialog templates expect.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = (letters / 26 + 1) / 2;
    baseY = metrics.height();
    if (baseX <= 0) {
        baseX = 6;
    }
    if (baseY <= 0) {
        baseY = 12;
    }
}

QFont fontThatFits(QFont font, QSize layoutUnits, QSize room, double minimumPoints) {
    const auto fits = [&](const QFont& f) {
        const QSize size = DialogUnits(f).size(layoutUnits.width(), layoutUnits.height());
        return size.width() <= room.width() && size.height() <= room.height();
    };
    while (!fits(font) && font.pointSizeF() - 0.5 >= minimumPoints) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    return font;
}

}  // namespace dm
