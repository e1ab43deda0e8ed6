#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

namespace dm::test {

// Watches for notices (CMessageDialog1) and about boxes that open modally, records them and,
// unless told to let them be, closes them, so modal loops never block a test.
class ModalWatcher : public QObject {
    Q_OBJECT
  public:
    struct Seen {
        QString className;
        QString caption;
        QString text;
        qint64 openedMs = -1;
        qint64 closedMs = -1;
    };

    explicit ModalWatcher(bool closeThem = true);

    // Notices only (CMessageDialog1), in the order they opened.
    std::vector<Seen> notices() const;
    std::vector<Seen> seen;
    bool closeThem = true;
    QElapsedTimer clock;

  private:
    void poll();
    QTimer timer;
    QObject* current = nullptr;
};

}  // namespace dm::test
