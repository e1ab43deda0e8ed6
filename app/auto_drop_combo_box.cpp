#include "app/auto_drop_combo_box.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>

namespace dm {

CAutoDropComboBox::CAutoDropComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->setReadOnly(true);
}

void CAutoDropComboBox::focusInEvent(QFocusEvent* event) {
    QComboBox::focusInEvent(event);
    // Only a focus the user gave opens the list; focus coming back from the list does not.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
        reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason) {
        showPopup();
    }
}

void CAutoDropComboBox::showPopup() {
    if (QWidget* focused = QApplication::focusWidget()) {
        focused->clearFocus();
    }
    QComboBox::showPopup();
}

}  // namespace dm
