#include "app/auto_drop_combo_box.h"

#include <QFocusEvent>

namespace dm {

CAutoDropComboBox::CAutoDropComboBox(QWidget* parent) : QComboBox(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void CAutoDropComboBox::focusInEvent(QFocusEvent* event) {
    QComboBox::focusInEvent(event);
    // Only the keyboard opens the list on focus. A click opens it through the press itself,
    // so that the list ignores the release of that click; focus coming back from the closed
    // list opens nothing.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::ShortcutFocusReason) {
        showPopup();
    }
}

}  // namespace dm
