#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/decode_rate.h"
#include "app/decode_tick.h"
#include "app/frame_decode_worker.h"
#include "app/frame_source.h"
#include "app/jpeg_picture.h"
#include "app/symbol_generation.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;

namespace dm {

class CAutoDropComboBox;
class CCaptureWindow;
class CDetectionView;
class CMessageDialog1;
class CStaticLink;

// The main window: the left half encodes the typed text into a symbol file and shows it, the
// right half shows the camera and the text decoded from it ten times a second, or from every
// frame on a worker thread when asked.
class CCodecTestDialog : public QDialog, private GenerationNotices {
    Q_OBJECT
  public:
    static constexpr int kDecodePeriodMs = 100;
    static constexpr int IDM_ABOUTBOX = 16;

    // Without a frame source the dialog uses the system's first camera.
    explicit CCodecTestDialog(std::unique_ptr<FrameSource> source = nullptr,
                              QWidget* parent = nullptr);
    ~CCodecTestDialog() override;

    // Message handlers.
    void onSysCommand(int id);
    void onGenerate();
    void onChangeFolder();
    void onSelChangeModuleSize(int index);
    void onSelChangeQuietZone(int index);
    void onTimer();
    void onCameraLost();
    void onCamerasChanged();
    // Decodes the picture as a still picture on a worker thread, then shows it in the video
    // area. Ignored while another picture is being decoded.
    void onDecodePicture(const QString& file);
    void onVideoAreaClicked();
    void onShowDetection(bool on);
    // Every symbol of each camera frame instead of the first (pictures always give every one).
    void onAllSymbols(bool on);
    // Every camera frame decoded on a worker (the newest whenever it is free) instead of ten a
    // second on the user-interface thread.
    void onEveryFrame(bool on);

    int32_t moduleSize() const { return moduleSizePixels; }
    int32_t quietZone() const { return quietZoneModules; }
    const QString& outputPath() const { return path; }
    bool cameraRunning() const { return cameraStarted; }
    bool pictureShown() const { return showingPicture; }
    bool decodingPicture() const { return pictureDecoding; }
    bool detectionShown() const { return showDetection; }
    bool allSymbolsDecoded() const { return allSymbols; }
    bool everyFrameDecoded() const { return everyFrame; }
    const FrameDecodeWorker& frameWorker() const { return worker; }
    // Camera frames decoded within the last second, on the timer or the worker.
    int decodesPerSecond() const { return decodeRate.perSecond(); }
    // Width and height of the last camera frame decoded, as the decoder read it.
    QSize lastFrameSize() const { return lastFrame; }
    // Where the camera picture, a decoded picture or the detection view are shown.
    QRect videoArea() const;
    bool decodeTimerActive() const { return decodeTimer.isActive(); }
    const CJpegPicture& picture() const { return jpegPicture; }
    CCaptureWindow* captureWindow() const { return videoWindow; }
    // The rectangle the symbol is drawn into, in dialog coordinates.
    QRect symbolRect() const;

    // Picks the output folder; an empty answer means cancelled. Replaceable for tests.
    std::function<QString()> chooseFolder;
    // Picks a picture to decode; an empty answer means cancelled. Replaceable for tests.
    std::function<QString()> choosePicture;

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  public slots:
    void done(int result) override;

  private:
    void onInitDialog();
    bool startDecoding();
    void showCameraNotice();
    void setFolder(const QString& folder);
    void onPictureDecoded();
    // Runs the timer or the worker, or neither, as the camera, a picture and the menu say.
    void updateDecoding();
    void onFrameDecoded();
    void showCameraOutcome(const DecodeOutcome& outcome);
    void showOutcome(const DecodeOutcome& outcome, const QImage& picture, bool camera);
    void showDecodedText(const QString& decoded);
    void showPictureFailure(const QString& reason);
    void updateVideoArea();
    void showNotice(const char* caption, const char* text, int32_t autoCloseLimit);
    void drawPicture();
    void longText() override;
    void failed() override;

    // Controls.
    QLabel* symbolArea = nullptr;                  // 1034
    CAutoDropComboBox* moduleSizeCombo = nullptr;  // 1010
    CAutoDropComboBox* quietZoneCombo = nullptr;   // 1011
    QLineEdit* folderEdit = nullptr;               // 1008
    QLineEdit* fileNameEdit = nullptr;             // 1015
    QPlainTextEdit* messageEdit = nullptr;         // 1006
    QTextEdit* resultEdit = nullptr;               // 1005
    QLabel* helpLabel = nullptr;                   // 1019 before it becomes the link

    // State.
    int32_t moduleSizePixels = 4;
    int32_t quietZoneModules = 3;
    QString path;
    CJpegPicture jpegPicture;
    bool cameraStarted = false;
    bool cameraNoticeShown = false;  // once per failure, not at every attempt
    bool initialised = false;
    bool closed = false;
    std::unique_ptr<FrameSource> frameSource;  // handed to the video window at start-up
    CCaptureWindow* videoWindow = nullptr;
    CStaticLink* helpLink = nullptr;
    CDetectionView* detectionView = nullptr;
    QLabel* detectionCaption = nullptr;
    bool showingPicture = false;   // a decoded picture stands in the video area
    bool showDetection = false;    // the detection results are drawn
    bool allSymbols = false;       // the camera's ticks decode every symbol of a frame
    bool everyFrame = false;       // every camera frame is decoded on the worker
    bool pictureDecoding = false;  // a picture is being decoded on the worker
    QFutureWatcher<std::optional<DecodeOutcome>> pictureDecode;
    QString decodedText;  // what the copy item copies: the result box's text when decoded
    QPointer<CMessageDialog1> longTextNotice;  // made at the first long text, then reused
    std::unique_ptr<DecodeTick> decodeTick;    // holds the result buffer
    QTimer decodeTimer;
    DecodeRate decodeRate;
    FrameDecodeWorker worker;
    QElapsedTimer sinceBeep;  // the worker's decodes beep ten times a second at most
    QSize lastFrame;
};

}  // namespace dm
