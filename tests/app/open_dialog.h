#pragma once

#include <QPlainTextEdit>
#include <QTextEdit>
#include <QtTest>
#include <memory>

#include "app/codec_test_dialog.h"
#include "tests/app/modal_watcher.h"

namespace dm::test {

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

    ModalWatcher watcher;
    std::unique_ptr<CCodecTestDialog> dialog;
};

}  // namespace dm::test
