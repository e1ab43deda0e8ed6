#include <QApplication>

#include "app/app_resources.h"
#include "app/codec_test_dialog.h"

// Runs the main dialog; the program ends when it closes.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    dm::installQtTranslations(app);
    dm::CCodecTestDialog dialog;
    dialog.exec();
    return 0;
}
