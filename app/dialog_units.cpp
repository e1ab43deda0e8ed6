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

}  // namespace dm
