#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>
#include <QTimer>

namespace dm {

// A text label that works as a hyperlink: blue, red while the pointer is over it, purple once
// opened; a click opens url (or, when url is empty, the label's own text).
class CStaticLink : public QLabel {
    Q_OBJECT
  public:
    static constexpr QRgb kUnvisited = qRgb(0, 0, 255);
    static constexpr QRgb kHover = qRgb(255, 0, 0);
    static constexpr QRgb kVisited = qRgb(128, 0, 128);
    static constexpr int kHoverPollMs = 100;

    CStaticLink(const QString& url, bool autoDelete, QWidget* parent = nullptr);

    // Takes over an existing label's place, text and geometry; the label is removed.
    void SubclassDlgItem(QLabel* label);

    QString url;
    QColor color{kUnvisited};
    QFont font;
    bool autoDelete = false;
    int hovering = 0;
    int timerId = 1;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void onHoverTimer();

    bool fontMade = false;
    QTimer hoverTimer;
};

}  // namespace dm
