#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

namespace dm {

// The picture last loaded from a saved symbol file, drawn stretched into a rectangle.
class CJpegPicture {
  public:
    // 1 when the file could be opened (the picture is then replaced by its contents, which
    // may be nothing if they are no image); 0 otherwise, keeping the earlier picture.
    int Load(const QString& path);

    QSize GetImageSize() const { return picture.size(); }

    // Draws the whole picture stretched to rect; an all-zero (null) rect means its
    // natural size at the top left.
    int Render(QPainter& painter, const QRect& rect) const;

    bool holdsPicture() const { return !picture.isNull(); }
    const QImage& image() const { return picture; }

  private:
    QImage picture;
};

}  // namespace dm
