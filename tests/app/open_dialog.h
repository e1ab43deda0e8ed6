#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QtTest>
#include <memory>

#include "app/codec_test_dialog.h"
#include "tests/app/modal_watcher.h"

namespace dm::test {

inline QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The main dialog over a given frame source, shown, with its notices watched and closed.
struct OpenDialog {
    explicit OpenDialog(std::unique_ptr<FrameSource> source)
        : dialog(std::make_unique<CCodecTestDialog>(std::move(source))) {
        dialog->show();
        QTest::qWait(50);
    }
    template <typename T>
    T* child(const char* name) const {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }
    QPlainTextEdit* message() const { return child<QPlainTextEdit>("messageEdit"); }
    QTextEdit* result() const { return child<QTextEdit>("resultEdit"); }

    // Right-clicks the video area and picks the menu item with the given text; false when it
    // is missing or disabled.
    bool chooseMenuItem(const char* itemText) const {
        bool picked = false;
        QTimer::singleShot(50, dialog.get(), [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QAction* chosen = nullptr;
            for (QAction* action : menu != nullptr ? menu->actions() : QList<QAction*>()) {
                if (action->text() == QString::fromUtf8(itemText) && action->isEnabled()) {
                    chosen = action;
                }
            }
            if (menu != nullptr) {
                menu->close();
            }
            if (chosen != nullptr) {
                picked = true;
                chosen->trigger();
            }
        });
        const QPoint at = dialog->videoArea().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, dialog->mapToGlobal(at));
        QApplication::sendEvent(dialog.get(), &event);
        return picked;
    }

    // Drags a file over the dialog and drops it at a point; whether the drop was taken.
    bool drop(const QString& file, QPoint at) const {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &move);
        if (!enter.isAccepted() || !move.isAccepted()) {
            return false;
        }
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &dropped);
        return dropped.isAccepted();
    }

    // Waits until a picture being decoded has been shown; false when it takes too long.
    bool waitForPicture(int timeoutMs = 10000) const {
        return QTest::qWaitFor([this] { return !dialog->decodingPicture(); }, timeoutMs);
    }

    ModalWatcher watcher;
    std::unique_ptr<CCodecTestDialog> dialog;
};

}  // namespace dm::test
