#include "app/tone_beeper.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QPointer>
#include <cmath>
#include <numbers>

namespace dm {
namespace {

constexpr double kFrequency = 500.0;
constexpr int kDurationMs = 20;

// One tone, synthesised once in the output's preferred format and replayed from memory.
class ToneBeeper : public QObject {
  public:
    explicit ToneBeeper(QObject* parent) : QObject(parent) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            return;
        }
        const QAudioFormat format = device.preferredFormat();
        if (!format.isValid()) {
            return;
        }
        const int frames = format.sampleRate() * kDurationMs / 1000;
        const int channels = format.channelCount();
        const int bytesPerSample = format.bytesPerSample();
        tone.resize(static_cast<qsizetype>(frames) * channels * bytesPerSample);
        char* out = tone.data();
        for (int i = 0; i < frames; ++i) {
            const double value =
                0.5 * std::sin(2.0 * std::numbers::pi * kFrequency * i / format.sampleRate());
            for (int c = 0; c < channels; ++c) {
                switch (format.sampleFormat()) {
                    case QAudioFormat::UInt8:
                        *reinterpret_cast<quint8*>(out) = static_cast<quint8>(128 + value * 127);
                        break;
                    case QAudioFormat::Int16:
                        *reinterpret_cast<qint16*>(out) = static_cast<qint16>(value * 32767);
                        break;
                    case QAudioFormat::Int32:
                        *reinterpret_cast<qint32*>(out) = static_cast<qint32>(value * 2147483647.0);
                        break;
                    case QAudioFormat::Float:
                        *reinterpret_cast<float*>(out) = static_cast<float>(value);
                        break;
                    default:
                        tone.clear();
                        return;
                }
                out += bytesPerSample;
            }
        }
        buffer = new QBuffer(&tone, this);
        sink = new QAudioSink(device, format, this);
    }

    void play() {
        if (sink == nullptr || tone.isEmpty()) {
            return;
        }
        sink->stop();
        buffer->close();
        buffer->open(QIODevice::ReadOnly);
        sink->start(buffer);  // returns at once; the tone plays from the audio thread
    }

  private:
    QByteArray tone;
    QPointer<QBuffer> buffer;
    QPointer<QAudioSink> sink;
};

}  // namespace

void beep500Hz20ms() {
    static QPointer<ToneBeeper> beeper;  // owned by the application object
    if (beeper.isNull()) {
        if (QCoreApplication::instance() == nullptr) {
            return;
        }
        beeper = new ToneBeeper(QCoreApplication::instance());
    }
    beeper->play();
}

}  // namespace dm
