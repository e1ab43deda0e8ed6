#pragma once

#include <QCoreApplication>
#include <QFont>
#include <QIcon>
#include <QPixmap>

namespace dm {

// The CJK font all dialogs use.
QFont dialogFont();

// The application icon and the banner picture from the resources.
QIcon applicationIcon();
QPixmap bannerPicture();

// Loads Qt's own Simplified Chinese texts (standard dialogs, edit-box menus) into the
// application, so they match the interface. False when they are not installed.
bool installQtTranslations(QCoreApplication& app);

}  // namespace dm
