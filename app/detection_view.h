#pragma once

#include <QImage>
#include <QPolygonF>
#include <QWidget>
#include <vector>

namespace dm {

// The video area's own picture: a still picture, or the last frame the decoder saw, fitted
// with its aspect ratio kept; over it, when asked, the outline of each symbol the decoder
// located, green when it decoded and red when it did not, numbered in reading order when there
// are several. A click on it is reported.
class CDetectionView : public QWidget {
    Q_OBJECT
  public:
    static constexpr QRgb kDecodedColor = qRgb(0, 200, 0);
    static constexpr QRgb kFailedColor = qRgb(230, 0, 0);

    explicit CDetectionView(QWidget* parent);

    // outlines are in the picture's pixels; none when nothing was located.
    void showFrame(const QImage& picture, std::vector<QPolygonF> outlines, bool decoded);
    void clearFrame();
    void setOutlineVisible(bool visible);

    bool holdsPicture() const { return !shown.isNull(); }
    const std::vector<QPolygonF>& outlines() const { return symbolOutlines; }
    // Where the picture lies in the view.
    QRect pictureRect() const;

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QImage shown;
    std::vector<QPolygonF> symbolOutlines;
    bool decoded = false;
    bool outlineVisible = false;
};

}  // namespace dm
