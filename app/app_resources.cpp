#include "app/app_resources.h"

#include "app/ui_strings.h"

namespace dm {

QFont dialogFont() {
    QFont font(QString::fromUtf8(ui::kDialogFontFamily), ui::kDialogFontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QIcon applicationIcon() {
    return QIcon(QStringLiteral(":/dmcodec/icon.png"));
}

QPixmap bannerPicture() {
    return QPixmap(QStringLiteral(":/dmcodec/banner.png"));
}

}  // namespace dm
