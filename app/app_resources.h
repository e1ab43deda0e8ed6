#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

namespace dm {

// The CJK font all dialogs use.
QFont dialogFont();

// The application icon and the banner picture from the resources.
QIcon applicationIcon();
QPixmap bannerPicture();

}  // namespace dm
