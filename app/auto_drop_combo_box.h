#pragma once

#include <QComboBox>

namespace dm {

// Combo box whose list opens as soon as it gets the focus and which gives the focus up when
// the list opens, so values are picked from the list, never typed.
class CAutoDropComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit CAutoDropComboBox(QWidget* parent);

    void showPopup() override;

  protected:
    void focusInEvent(QFocusEvent* event) override;
};

}  // namespace dm
