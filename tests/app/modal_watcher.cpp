#include "tests/app/modal_watcher.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/message_dialog.h"

namespace dm::test {

ModalWatcher::ModalWatcher() {
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, &ModalWatcher::poll);
    timer.start();
}

std::vector<ModalWatcher::Seen> ModalWatcher::notices() const {
    std::vector<Seen> result;
    for (const Seen& s : seen) {
        if (s.className == QLatin1String("dm::CMessageDialog1")) {
            result.push_back(s);
        }
    }
    return result;
}

namespace {

ModalWatcher::Seen seenOf(const QDialog* dialog) {
    ModalWatcher::Seen s;
    s.className = QString::fromLatin1(dialog->metaObject()->className());
    s.caption = dialog->windowTitle();
    if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("messageText"))) {
        s.text = label->text();
    }
    return s;
}

}  // namespace

void ModalWatcher::poll() {
    // Notices shown without being modal are recorded each time they come up.
    std::erase_if(shownModeless, [](const QPointer<QDialog>& d) { return !d || !d->isVisible(); });
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* notice = qobject_cast<CMessageDialog1*>(window);
        if (notice != nullptr && notice->isVisible() && !notice->isModal() &&
            std::find(shownModeless.begin(), shownModeless.end(), notice) == shownModeless.end()) {
            shownModeless.emplace_back(notice);
            seen.push_back(seenOf(notice));
        }
    }

    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || dialog == current) {
        return;
    }
    current = dialog;
    seen.push_back(seenOf(dialog));
    connect(dialog, &QDialog::finished, this, [this] { current = nullptr; });
    connect(dialog, &QObject::destroyed, this, [this] { current = nullptr; });
    if (closeThem) {
        QTimer::singleShot(20, dialog, [dialog] { dialog->reject(); });
    }
}

}  // namespace dm::test
