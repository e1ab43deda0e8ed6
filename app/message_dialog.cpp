#include "app/message_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/app_resources.h"
#include "app/dialog_units.h"
#include "app/tone_beeper.h"
#include "app/ui_strings.h"

namespace dm {

CMessageDialog1::CMessageDialog1(QWidget* parent) : QDialog(parent), icon(applicationIcon()) {
    setFont(dialogFont());
    setWindowTitle(QString::fromUtf8(ui::kMessageDialogCaption));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    const DialogUnits units(font());
    setFixedSize(units.size(186, 72));

    textLabel = new QLabel(this);
    textLabel->setObjectName(QStringLiteral("messageText"));
    textLabel->setWordWrap(true);
    textLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    textLabel->setGeometry(units.rect(10, 8, 166, 36));

    closeButton = new QPushButton(QString::fromUtf8(ui::kCloseButton), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setAutoDefault(false);
    closeButton->setGeometry(units.rect(68, 50, 50, 14));
    connect(closeButton, &QPushButton::clicked, this, [this] {
        closeTimer.stop();
        accept();
    });

    closeTimer.setInterval(kTickMs);
    connect(&closeTimer, &QTimer::timeout, this, &CMessageDialog1::onTimer);
}

int CMessageDialog1::exec() {
    onInitDialog();
    return QDialog::exec();
}

void CMessageDialog1::showWithoutFocus() {
    if (!windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus)) {  // once: it recreates the window
        setWindowModality(Qt::NonModal);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setWindowFlag(Qt::WindowDoesNotAcceptFocus);
        closeButton->setFocusPolicy(Qt::NoFocus);
    }
    closeTimer.stop();
    onInitDialog();
    show();
    raise();
}

void CMessageDialog1::onInitDialog() {
    setWindowIcon(icon);
    setWindowTitle(caption);
    textLabel->setText(text);
    beep500Hz20ms();
    timerId = 1;
    tickCount = 0;
    if (autoCloseLimit != -1) {
        closeTimer.start();
    }
}

void CMessageDialog1::onTimer() {
    if (tickCount > autoCloseLimit) {
        closeTimer.stop();
        accept();
        return;
    }
    ++tickCount;
}

void CMessageDialog1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();  // Enter never closes the notice
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace dm
