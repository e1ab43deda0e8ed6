#include "app/static_link.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace dm {

CStaticLink::CStaticLink(const QString& linkUrl, bool deleteWithWindow, QWidget* parent)
    : QLabel(parent), url(linkUrl), autoDelete(deleteWithWindow) {
    setCursor(Qt::PointingHandCursor);
    hoverTimer.setInterval(kHoverPollMs);
    connect(&hoverTimer, &QTimer::timeout, this, &CStaticLink::onHoverTimer);
}

void CStaticLink::SubclassDlgItem(QLabel* label) {
    setParent(label->parentWidget());
    setObjectName(label->objectName());
    setText(label->text());
    setAlignment(label->alignment());
    setGeometry(label->geometry());
    setFont(label->font());
    stackUnder(label);
    label->hide();
    label->deleteLater();
    show();
}

void CStaticLink::paintEvent(QPaintEvent* /*event*/) {
    if (!fontMade) {
        font = QLabel::font();  // an exact copy, no underline added
        fontMade = true;
    }
    QPainter painter(this);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(contentsRect(), static_cast<int>(alignment()), text());
}

void CStaticLink::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    if (hovering == 0) {
        hovering = 1;
        color = QColor(kHover);
        update();
        hoverTimer.start();
    }
}

void CStaticLink::onHoverTimer() {
    const QPoint point = mapFromGlobal(QCursor::pos());
    if (!rect().contains(point)) {
        hovering = 0;
        hoverTimer.stop();
        color = QColor(kUnvisited);  // also for a link already visited
        update();
        if (parentWidget() != nullptr) {
            parentWidget()->update(geometry().adjusted(0, 0, 0, 10));
        }
    }
}

void CStaticLink::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    const QString target = url.isEmpty() ? text() : url;
    if (target.isEmpty()) {
        return;
    }
    if (!QDesktopServices::openUrl(QUrl(target))) {
        QApplication::beep();
        return;
    }
    color = QColor(kVisited);
    update();
}

}  // namespace dm
