#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <QTimer>
#include <cstdint>

class QLabel;
class QPushButton;

namespace dm {

// Notice with a close button that can close itself: with autoCloseLimit L it ends on its
// (L + 2)-th 150 ms tick; -1 keeps it open until the button is pressed. Enter never closes it.
class CMessageDialog1 : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kTickMs = 150;

    explicit CMessageDialog1(QWidget* parent);

    // Sets up the dialog as filled in by the caller and runs it modally.
    int exec() override;

    // Sets it up again and shows it without taking the keyboard from the window that has it:
    // each call beeps and starts the auto-close count afresh.
    void showWithoutFocus();

    QPushButton* closeButton = nullptr;
    QIcon icon;
    QString text;
    int32_t autoCloseLimit = -1;
    int32_t tickCount = 0;
    int timerId = 0;
    QString caption;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void onInitDialog();
    void onTimer();

    QLabel* textLabel = nullptr;
    QTimer closeTimer;
};

}  // namespace dm
