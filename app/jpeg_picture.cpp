#include "app/jpeg_picture.h"

#include <QFile>
#include <QPainter>

namespace dm {

int CJpegPicture::Load(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    picture = QImage::fromData(file.readAll());
    return 1;
}

int CJpegPicture::Render(QPainter& painter, const QRect& rect) const {
    if (picture.isNull()) {
        return 1;
    }
    QRect target = rect;
    if (rect.isNull()) {  // all zero: no rectangle given
        target = QRect(QPoint(0, 0), picture.size());
    }
    painter.drawImage(target, picture);
    return 1;
}

}  // namespace dm
