#pragma once

#include <QImage>
#include <QPolygonF>
#include <QWidget>
#include <optional>

namespace dm {

// The video area's own picture: a still picture, or the last frame the decoder saw, fitted
// with its aspect ratio kept; over it, when asked, the outline of the symbol the decoder
// located, green when it decoded and red when it did not. A click on it is reported.
class CDetectionView : public QWidget {
    Q_OBJECT
  public:
    static constexpr QRgb kDecodedColor = qRgb(0, 200, 0);
    static constexpr QRgb kFailedColor = qRgb(230, 0, 0);

    explicit CDetectionView(QWidget* parent);

    // outline is in the picture's pixels; none when nothing was located.
    void showFrame(const QImage& picture, std::optional<QPolygonF> outline, bool decoded);
    void clearFrame();
    void setOutlineVisible(bool visible);

    bool holdsPicture() const { return !shown.isNull(); }
    // Where the picture lies in the view.
    QRect pictureRect() const;

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QImage shown;
    std::optional<QPolygonF> outline;
    bool decoded = false;
    bool outlineVisible = false;
};

}  // namespace dm
