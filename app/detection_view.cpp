#include "app/detection_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/capture_window.h"

namespace dm {

CDetectionView::CDetectionView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void CDetectionView::showFrame(const QImage& picture, std::optional<QPolygonF> symbolOutline,
                               bool symbolDecoded) {
    shown = picture;
    outline = std::move(symbolOutline);
    decoded = symbolDecoded;
    update();
}

void CDetectionView::clearFrame() {
    showFrame(QImage(), std::nullopt, false);
}

void CDetectionView::setOutlineVisible(bool visible) {
    outlineVisible = visible;
    update();
}

QRect CDetectionView::pictureRect() const {
    return fitVideo(shown.width(), shown.height(), width(), height()).value_or(QRect());
}

void CDetectionView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(192, 192, 192));
    const QRect target = pictureRect();
    if (target.isEmpty()) {
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, shown);
    if (!outlineVisible || !outline) {
        return;
    }
    // Picture pixels to view pixels.
    QTransform toView;
    toView.translate(target.x(), target.y());
    toView.scale(static_cast<double>(target.width()) / shown.width(),
                 static_cast<double>(target.height()) / shown.height());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(decoded ? kDecodedColor : kFailedColor), 2));
    painter.drawPolygon(toView.map(*outline));
}

void CDetectionView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit clicked();
    }
    QWidget::mousePressEvent(event);
}

}  // namespace dm
