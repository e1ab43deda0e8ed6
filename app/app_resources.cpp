#include "app/app_resources.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

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

bool installQtTranslations(QCoreApplication& app) {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    translator->setParent(&app);  // lives as long as the application
    return QCoreApplication::installTranslator(translator.release());
}

QPixmap bannerPicture() {
    return QPixmap(QStringLiteral(":/dmcodec/banner.png"));
}

}  // namespace dm
