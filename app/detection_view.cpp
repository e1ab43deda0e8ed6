#include "app/detection_view.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/capture_window.h"

namespace dm {

CDetectionView::CDetectionView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

void CDetectionView::showFrame(const QImage& picture, std::vector<QPolygonF> outlines,
                               bool symbolDecoded) {
    shown = picture;
    symbolOutlines = std::move(outlines);
    decoded = symbolDecoded;
    update();
}

void CDetectionView::clearFrame() {
    showFrame(QImage(), {}, false);
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
    if (!outlineVisible || symbolOutlines.empty()) {
        return;
    }
    // Picture pixels to view pixels.
    QTransform toView;
    toView.translate(target.x(), target.y());
    toView.scale(static_cast<double>(target.width()) / shown.width(),
                 static_cast<double>(target.height()) / shown.height());
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color(decoded ? kDecodedColor : kFailedColor);
    painter.setPen(QPen(color, 2));
    for (const QPolygonF& outline : symbolOutlines) {
        painter.drawPolygon(toView.map(outline));
    }
    if (symbolOutlines.size() < 2) {
        return;
    }
    // Each symbol's number in a small tag on its centre, which lies inside the outline however
    // the symbol is turned and however small it is drawn.
    QFont numberFont = font();
    numberFont.setBold(true);
    painter.setFont(numberFont);
    const QFontMetrics metrics(numberFont);
    for (size_t i = 0; i < symbolOutlines.size(); ++i) {
        const QString number = QString::number(i + 1);
        const QPolygonF outline = toView.map(symbolOutlines[i]);
        QPointF centre;
        for (const QPointF& corner : outline) {
            centre += corner / static_cast<double>(outline.size());
        }
        const QSizeF size(std::max(metrics.horizontalAdvance(number) + 4, metrics.height()),
                          metrics.height());
        const QRectF tag(centre - QPointF(size.width() / 2, size.height() / 2), size);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawRoundedRect(tag, 3, 3);
        painter.setPen(Qt::white);
        painter.drawText(tag, Qt::AlignCenter, number);
    }
}

void CDetectionView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit clicked();
    }
    QWidget::mousePressEvent(event);
}

}  // namespace dm
