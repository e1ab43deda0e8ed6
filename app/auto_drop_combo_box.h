#pragma once

#include <QComboBox>

namespace dm {

// Drop-down list that opens on one click anywhere on it and as soon as the keyboard moves the
// focus onto it. It has no edit field: values are picked from the list, never typed, and the
// prompt shows in the box until the first pick. The focus stays on the box, so Tab and
// Shift-Tab go on from it.
class CAutoDropComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit CAutoDropComboBox(QWidget* parent);

  protected:
    void focusInEvent(QFocusEvent* event) override;
};

}  // namespace dm
