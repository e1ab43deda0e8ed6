#pragma once

#include <QDialog>

namespace dm {

// The about box: icon, program name and version, and an OK button.
class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent);
};

}  // namespace dm
