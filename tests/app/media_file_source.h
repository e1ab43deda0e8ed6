#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "app/frame_source.h"
#include "tests/app/test_clips.h"

class QMediaPlayer;
class QVideoWidget;

namespace dm::test {

// Plays a video file in a loop through Qt Multimedia into a preview widget and hands its
// frames on through the same hook as the camera: the whole real frame path without a camera.
// A media error counts as a lost camera.
class MediaFileSource : public FrameSource {
  public:
    MediaFileSource(QString path, VideoFormat format);
    ~MediaFileSource() override;

    bool start(const FrameSink& sink, QWidget* videoParent, VideoFormat& out) override;
    void stop() override;
    QWidget* videoWindow() const override;

    // Holds the picture: no more frames until the clip would be played again.
    void pause();

  private:
    QString path;
    VideoFormat format;
    std::unique_ptr<QMediaPlayer> player;
    QPointer<QVideoWidget> video;
    QMetaObject::Connection hook;
    bool held = false;  // paused: not played again at its end
};

// A source playing one of the test clips from the folder they were generated into at build time.
std::unique_ptr<MediaFileSource> clipSource(const TestClip& clip);

}  // namespace dm::test
