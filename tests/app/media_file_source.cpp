#include "tests/app/media_file_source.h"

#include <QMediaPlayer>
#include <QUrl>
#include <QVideoWidget>

#include "app/video_frame_hook.h"

namespace dm::test {

MediaFileSource::MediaFileSource(QString file, VideoFormat size)
    : path(std::move(file)), format(size) {}

MediaFileSource::~MediaFileSource() {
    stop();
}

bool MediaFileSource::start(const FrameSink& sink, QWidget* videoParent, VideoFormat& out) {
    stop();
    held = false;
    player = std::make_unique<QMediaPlayer>();
    video = new QVideoWidget(videoParent);
    player->setVideoOutput(video.data());
    hook = connectFrameHook(video->videoSink(), sink);
    QObject::connect(player.get(), &QMediaPlayer::errorOccurred, player.get(), [lost = sink.lost] {
        if (lost) {
            lost();
        }
    });
    // Played again from the start at its end: not every backend honours setLoops.
    QObject::connect(player.get(), &QMediaPlayer::mediaStatusChanged, player.get(),
                     [this, player = player.get()](QMediaPlayer::MediaStatus status) {
                         if (status == QMediaPlayer::EndOfMedia && !held) {
                             player->setPosition(0);
                             player->play();
                         }
                     });
    player->setSource(QUrl::fromLocalFile(path));
    player->play();
    out = format;
    return true;
}

void MediaFileSource::stop() {
    QObject::disconnect(hook);
    if (player) {
        QObject::disconnect(player.get(), nullptr, nullptr, nullptr);
        player->stop();
        player.reset();
    }
    if (video) {
        video->hide();
        video->deleteLater();
    }
}

QWidget* MediaFileSource::videoWindow() const {
    return video.data();
}

void MediaFileSource::pause() {
    held = true;
    if (player) {
        player->pause();
    }
}

std::unique_ptr<MediaFileSource> clipSource(const TestClip& clip) {
    return std::make_unique<MediaFileSource>(
        QStringLiteral(DM_CLIP_DIR "/") + QString::fromStdString(clipFileName(clip)),
        VideoFormat{clip.width, clip.height});
}

}  // namespace dm::test
