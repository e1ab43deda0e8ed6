#include "app/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/app_resources.h"
#include "app/dialog_units.h"
#include "app/ui_strings.h"

namespace dm {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setFont(dialogFont());
    setWindowTitle(QString::fromUtf8(ui::kAboutCaption));
    setWindowIcon(applicationIcon());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const DialogUnits units(font());
    setFixedSize(units.size(235, 55));

    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(units.x(20), units.y(20)));
    icon->setGeometry(units.rect(11, 17, 20, 20));

    auto* name = new QLabel(QString::fromUtf8(ui::kProgramName) + QLatin1Char(' ') +
                                QString::fromUtf8(ui::kProgramVersion),
                            this);
    name->setObjectName(QStringLiteral("aboutText"));
    name->setGeometry(units.rect(40, 14, 119, 8));
    name->adjustSize();

    auto* ok = new QPushButton(QString::fromUtf8(ui::kOkButton), this);
    ok->setDefault(true);
    ok->setGeometry(units.rect(178, 7, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace dm
