#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <vector>

namespace dm::test {

// Watches for notices (CMessageDialog1) and about boxes that open modally, records them and,
// unless told to let them be, closes them, so modal loops never block a test. Notices shown
// without being modal are recorded too and left to close themselves.
class ModalWatcher : public QObject {
    Q_OBJECT
  public:
    struct Seen {
        QString className;
        QString caption;
        QString text;
    };

    ModalWatcher();

    // Notices only (CMessageDialog1), in the order they opened.
    std::vector<Seen> notices() const;
    std::vector<Seen> seen;
    bool closeThem = true;

  private:
    void poll();
    QTimer timer;
    QObject* current = nullptr;
    std::vector<QPointer<QDialog>> shownModeless;
};

}  // namespace dm::test
