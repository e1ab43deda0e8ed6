#include "app/codec_test_dialog.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QUrl>
#include <QUrlQuery>
#include <QtConcurrent/QtConcurrentRun>

#include "app/about_dialog.h"
#include "app/app_resources.h"
#include "app/auto_drop_combo_box.h"
#include "app/capture_window.h"
#include "app/decode_tick.h"
#include "app/detection_view.h"
#include "app/dialog_units.h"
#include "app/frame_source.h"
#include "app/message_dialog.h"
#include "app/static_link.h"
#include "app/tone_beeper.h"
#include "app/ui_strings.h"
#include "grading/print_quality.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Pictures are shown shrunk to this many pixels a side: several times the video area, at any
// screen scaling.
constexpr int kPicturePreviewSide = 1024;

// Room kept for the window manager's frame around the window: borders and title bar.
constexpr QSize kWindowFrame(16, 48);

// What the caption under the video and the result box say when a symbol was not decoded.
QString failureText(DecodeStatus status) {
    const auto value = static_cast<size_t>(toInt(status));
    return text(ui::kFailedCaption)
        .arg(value)
        .arg(text(value < std::size(ui::kStatusMeanings) ? ui::kStatusMeanings[value] : ""));
}

QLabel* addLabel(QWidget* parent, const DialogUnits& units, const char* caption, const QRect& du) {
    auto* label = new QLabel(text(caption), parent);
    label->setGeometry(units.rect(du.x(), du.y(), du.width(), du.height()));
    return label;
}

void fillPixelItems(CAutoDropComboBox* combo, const char* prompt) {
    for (const char* item : ui::kPixelItems) {
        combo->addItem(text(item));
    }
    combo->model()->sort(0);  // a sorted list; the items already are in order
    combo->setCurrentIndex(-1);
    combo->setPlaceholderText(text(prompt));  // shown until the first pick
}

// The help page with the program identifier (name followed by version) as help_id.
QString helpUrl() {
    QUrl url(text(ui::kHelpPage));
    QUrlQuery query;
    query.addQueryItem(text(ui::kHelpQueryKey), text(ui::kProgramName) + text(ui::kProgramVersion));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

// The local file dragged over the window, if any.
QString droppedPicture(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) {
        return QString();
    }
    return data->urls().front().toLocalFile();
}

}  // namespace

CCodecTestDialog::CCodecTestDialog(std::unique_ptr<FrameSource> source, QWidget* parent)
    : QDialog(parent), frameSource(std::move(source)), worker(decodeRate, [this] {
          QMetaObject::invokeMethod(this, &CCodecTestDialog::onFrameDecoded, Qt::QueuedConnection);
      }) {
    // At a high screen scaling the layout in the 9-point font is larger than the screen: the
    // font, and every dialog unit with it, shrinks until the window and its frame fit.
    const QScreen* display = screen();
    const QSize room = display != nullptr ? display->availableSize() - kWindowFrame
                                          : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setFont(fontThatFits(dialogFont(), QSize(581, 301), room));
    setWindowTitle(text(ui::kDialogCaption));
    setWindowIcon(applicationIcon());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    const DialogUnits units(font());
    setFixedSize(units.size(581, 301));
    move(0, 0);

    chooseFolder = [] {
        return QFileDialog::getExistingDirectory(nullptr, text(ui::kChooseFolderTitle), QString(),
                                                 QFileDialog::ShowDirsOnly);
    };
    choosePicture = [this] {
        return QFileDialog::getOpenFileName(this, text(ui::kOpenPictureTitle), QString(),
                                            text(ui::kPictureFilter));
    };
    setAcceptDrops(true);  // pictures dropped on the video area are decoded

    // Group boxes first, so that the controls inside lie on top of them.
    auto* encodeGroup = new QGroupBox(text(ui::kEncodeGroup), this);  // 1001
    encodeGroup->setGeometry(units.rect(6, 58, 291, 236));
    auto* decodeGroup = new QGroupBox(text(ui::kDecodeGroup), this);  // 1003
    decodeGroup->setGeometry(units.rect(306, 58, 267, 236));

    auto* instruction = addLabel(this, units, ui::kEncodeInstruction, {162, 73, 128, 32});  // 1017
    instruction->setWordWrap(true);
    instruction->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    symbolArea = new QLabel(this);  // 1034: the picture is drawn over it by the dialog
    symbolArea->setObjectName(QStringLiteral("symbolArea"));
    symbolArea->setGeometry(units.rect(12, 68, 141, 127));

    addLabel(this, units, ui::kModuleSizeLabel, {156, 114, 50, 11});  // 1013
    moduleSizeCombo = new CAutoDropComboBox(this);                    // 1010
    moduleSizeCombo->setObjectName(QStringLiteral("moduleSizeCombo"));
    moduleSizeCombo->setGeometry(units.rect(207, 112, 80, 13));
    addLabel(this, units, ui::kQuietZoneLabel, {164, 134, 40, 11});  // 1014
    quietZoneCombo = new CAutoDropComboBox(this);                    // 1011
    quietZoneCombo->setObjectName(QStringLiteral("quietZoneCombo"));
    quietZoneCombo->setGeometry(units.rect(207, 132, 78, 13));
    fillPixelItems(moduleSizeCombo, ui::kModuleSizePrompt);
    fillPixelItems(quietZoneCombo, ui::kQuietZonePrompt);

    addLabel(this, units, ui::kFolderLabel, {163, 156, 43, 11});  // 1007
    folderEdit = new QLineEdit(this);                             // 1008
    folderEdit->setObjectName(QStringLiteral("folderEdit"));
    folderEdit->setGeometry(units.rect(207, 152, 54, 15));
    folderEdit->setEnabled(false);
    auto* changeFolder = new QPushButton(text(ui::kChangeFolder), this);  // 1009
    changeFolder->setObjectName(QStringLiteral("changeFolderButton"));
    changeFolder->setGeometry(units.rect(262, 152, 22, 15));
    // Not the dialog's default button: Enter in the file-name box must not open the chooser.
    changeFolder->setAutoDefault(false);

    addLabel(this, units, ui::kFileNameLabel, {169, 177, 33, 11});  // 1012
    fileNameEdit = new QLineEdit(this);                             // 1015
    fileNameEdit->setObjectName(QStringLiteral("fileNameEdit"));
    fileNameEdit->setGeometry(units.rect(206, 173, 77, 15));

    messageEdit = new QPlainTextEdit(this);  // 1006
    messageEdit->setObjectName(QStringLiteral("messageEdit"));
    messageEdit->setGeometry(units.rect(12, 198, 280, 87));
    messageEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageEdit->setTabChangesFocus(true);  // Tab moves on, as in every other control
    messageEdit->installEventFilter(this);  // files dropped on it add no text
    messageEdit->viewport()->installEventFilter(this);

    auto* generate = new QPushButton(text(ui::kGenerateButton), this);  // 1002
    generate->setObjectName(QStringLiteral("generateButton"));
    generate->setGeometry(units.rect(473, 161, 77, 15));
    generate->setEnabled(false);
    generate->setAutoDefault(false);
    generate->hide();

    auto* decodeInstruction =
        addLabel(this, units, ui::kDecodeInstruction, {457, 82, 110, 35});  // 1016
    decodeInstruction->setWordWrap(true);
    decodeInstruction->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* placeholder = new QLabel(this);  // 1004, under the video window
    placeholder->setObjectName(QStringLiteral("videoPlaceholder"));
    placeholder->setGeometry(units.rect(316, 80, 135, 108));

    resultEdit = new QTextEdit(this);  // 1005
    resultEdit->setObjectName(QStringLiteral("resultEdit"));
    resultEdit->setGeometry(units.rect(315, 199, 250, 90));
    // Read-only but enabled: a disabled box greys its text and ignores its scroll bar. It takes
    // the focus on a click, for selecting and copying, but stays out of the Tab order.
    resultEdit->setReadOnly(true);
    resultEdit->setAcceptRichText(false);
    resultEdit->setFocusPolicy(Qt::ClickFocus);
    resultEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    resultEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    helpLabel = addLabel(this, units, ui::kHelpLink, {477, 128, 67, 14});  // 1019
    helpLabel->setObjectName(QStringLiteral("helpLink"));

    auto* banner = new QLabel(this);  // 1018
    banner->setObjectName(QStringLiteral("banner"));
    banner->setGeometry(units.rect(0, 0, 582, 53));
    banner->setPixmap(bannerPicture());
    banner->setScaledContents(true);

    connect(generate, &QPushButton::clicked, this, &CCodecTestDialog::onGenerate);
    connect(changeFolder, &QPushButton::clicked, this, &CCodecTestDialog::onChangeFolder);
    connect(quietZoneCombo, &QComboBox::activated, this, &CCodecTestDialog::onSelChangeQuietZone);
    connect(moduleSizeCombo, &QComboBox::activated, this, &CCodecTestDialog::onSelChangeModuleSize);
    connect(messageEdit, &QPlainTextEdit::textChanged, this, &CCodecTestDialog::onGenerate);

    decodeTimer.setInterval(kDecodePeriodMs);
    connect(&decodeTimer, &QTimer::timeout, this, &CCodecTestDialog::onTimer);
    connect(&pictureDecode, &QFutureWatcherBase::finished, this,
            &CCodecTestDialog::onPictureDecoded);
}

// A picture still being decoded finishes on its own; only its busy cursor is taken back. The
// frame worker is stopped before anything it reports to goes.
CCodecTestDialog::~CCodecTestDialog() {
    worker.stop();
    if (pictureDecoding) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void CCodecTestDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!initialised) {
        initialised = true;
        onInitDialog();
    }
}

void CCodecTestDialog::onInitDialog() {
    setFolder(QDir::homePath());
    fileNameEdit->setText(text(ui::kDefaultFileName));
    moduleSizePixels = 4;
    quietZoneModules = 3;

    // The video window sits over the placeholder, a little inside it.
    const DialogUnits units(font());
    videoWindow = new CCaptureWindow(this, std::move(frameSource));
    videoWindow->setObjectName(text(ui::kVideoWindowName));
    videoWindow->setGeometry(units.rect(318, 85, 131, 103));
    videoWindow->show();
    // Over the video: a decoded picture, or the frames the decoder saw with its findings.
    detectionView = new CDetectionView(this);
    detectionView->setObjectName(QStringLiteral("detectionView"));
    detectionView->setGeometry(videoWindow->geometry());
    detectionView->hide();
    connect(detectionView, &CDetectionView::clicked, this, &CCodecTestDialog::onVideoAreaClicked);
    detectionCaption = new QLabel(this);
    detectionCaption->setObjectName(QStringLiteral("detectionCaption"));
    // As wide as the result box, so that the longest status meaning fits.
    detectionCaption->setGeometry(units.rect(316, 189, 249, 9));
    detectionCaption->hide();

    decodeTick = std::make_unique<DecodeTick>(*videoWindow, [] { beep500Hz20ms(); });
    connect(videoWindow, &CCaptureWindow::cameraLost, this, &CCodecTestDialog::onCameraLost);
    connect(videoWindow, &CCaptureWindow::camerasChanged, this,
            &CCodecTestDialog::onCamerasChanged);
    if (!startDecoding()) {
        showCameraNotice();
    }

    helpLink = new CStaticLink(QString(), false);
    helpLink->url = helpUrl();
    helpLink->SubclassDlgItem(helpLabel);
    helpLabel = nullptr;
}

bool CCodecTestDialog::startDecoding() {
    if (!videoWindow->StartCamera()) {
        return false;
    }
    cameraStarted = true;
    cameraNoticeShown = false;  // a later failure is told again
    updateDecoding();
    return true;
}

void CCodecTestDialog::showCameraNotice() {
    if (cameraNoticeShown) {
        return;
    }
    cameraNoticeShown = true;
    // Shown from the event loop, over the dialog, not from inside the handler that noticed.
    QTimer::singleShot(0, this, [this] {
        if (!closed) {
            showNotice(ui::kCameraNoticeCaption, ui::kCameraNoticeText, -1);
        }
    });
}

void CCodecTestDialog::onCameraLost() {
    cameraStarted = false;
    updateDecoding();
    if (!showingPicture) {
        detectionView->clearFrame();
    }
    updateVideoArea();
    showCameraNotice();
}

void CCodecTestDialog::onCamerasChanged() {
    if (!cameraStarted && !closed) {
        startDecoding();
        updateVideoArea();
    }
}

void CCodecTestDialog::showNotice(const char* caption, const char* message,
                                  int32_t autoCloseLimit) {
    CMessageDialog1 notice(this);
    notice.caption = text(caption);
    notice.text = text(message);
    notice.autoCloseLimit = autoCloseLimit;
    notice.exec();
}

// Shown over the window without taking the keyboard, so that typing goes on into the text box
// while it is up; each key past the limit brings it up again.
void CCodecTestDialog::longText() {
    if (!longTextNotice) {
        longTextNotice = new CMessageDialog1(this);
        longTextNotice->caption = text(ui::kLongTextCaption);
        longTextNotice->text = text(ui::kLongTextText);
        longTextNotice->autoCloseLimit = 2;
    }
    longTextNotice->showWithoutFocus();
}

void CCodecTestDialog::failed() {
    showNotice(ui::kFailureCaption, ui::kFailureText, -1);
}

void CCodecTestDialog::onSysCommand(int id) {
    if (static_cast<unsigned>(id - IDM_ABOUTBOX) <= 15u) {
        CAboutDlg about(this);
        about.exec();
    }
}

void CCodecTestDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* open = menu.addAction(text(ui::kOpenPictureMenuItem));
    open->setEnabled(!pictureDecoding);
    connect(open, &QAction::triggered, this, [this] {
        const QString chosen = choosePicture ? choosePicture() : QString();
        if (!chosen.isEmpty()) {
            onDecodePicture(chosen);
        }
    });
    QAction* detection = menu.addAction(text(ui::kShowDetectionMenuItem));
    detection->setCheckable(true);
    detection->setChecked(showDetection);
    connect(detection, &QAction::toggled, this, &CCodecTestDialog::onShowDetection);
    QAction* every = menu.addAction(text(ui::kAllSymbolsMenuItem));
    every->setCheckable(true);
    every->setChecked(allSymbols);
    connect(every, &QAction::toggled, this, &CCodecTestDialog::onAllSymbols);
    QAction* eachFrame = menu.addAction(text(ui::kEveryFrameMenuItem));
    eachFrame->setCheckable(true);
    eachFrame->setChecked(everyFrame);
    connect(eachFrame, &QAction::toggled, this, &CCodecTestDialog::onEveryFrame);
    QAction* copy = menu.addAction(text(ui::kCopyResultMenuItem));
    copy->setEnabled(!decodedText.isEmpty());
    connect(copy, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(decodedText); });
    menu.addSeparator();
    QAction* about = menu.addAction(text(ui::kAboutMenuItem));
    connect(about, &QAction::triggered, this, [this] { onSysCommand(IDM_ABOUTBOX); });
    menu.exec(event->globalPos());
}

QRect CCodecTestDialog::videoArea() const {
    return videoWindow != nullptr ? videoWindow->geometry() : QRect();
}

void CCodecTestDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedPicture(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();  // the position is checked as the drag moves
    }
}

void CCodecTestDialog::dragMoveEvent(QDragMoveEvent* event) {
    if (!pictureDecoding && videoArea().contains(event->position().toPoint())) {
        event->acceptProposedAction();
    } else {
        event->ignore(videoArea());
    }
}

void CCodecTestDialog::dropEvent(QDropEvent* event) {
    const QString file = droppedPicture(event->mimeData());
    if (file.isEmpty() || pictureDecoding || !videoArea().contains(event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    onDecodePicture(file);
}

void CCodecTestDialog::onDecodePicture(const QString& file) {
    if (pictureDecoding || closed) {
        return;
    }
    // Large pictures take seconds: the window and the camera's ticks go on meanwhile.
    pictureDecoding = true;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    pictureDecode.setFuture(
        QtConcurrent::run([file] { return decodePictureFile(file, kPicturePreviewSide); }));
}

void CCodecTestDialog::onPictureDecoded() {
    pictureDecoding = false;
    QGuiApplication::restoreOverrideCursor();
    if (closed) {
        return;
    }
    const std::optional<DecodeOutcome> outcome = pictureDecode.result();
    if (!outcome) {
        showPictureFailure(text(ui::kPictureUnreadableText));
        showNotice(ui::kCameraNoticeCaption, ui::kPictureUnreadableText, -1);
        return;
    }
    if (outcome->decoded) {
        beep500Hz20ms();
    } else {
        showPictureFailure(failureText(outcome->status));
    }
    // The picture stays until the video area is clicked; the camera's decoding waits till then.
    showingPicture = true;
    updateDecoding();
    showOutcome(*outcome, outcome->picture, false);
}

void CCodecTestDialog::showDecodedText(const QString& decoded) {
    decodedText = decoded;
    resultEdit->setPlainText(decoded);
}

// The text of an earlier decode goes: the box says why this picture gave none.
void CCodecTestDialog::showPictureFailure(const QString& reason) {
    decodedText.clear();
    resultEdit->setPlainText(reason);
}

void CCodecTestDialog::onVideoAreaClicked() {
    if (!showingPicture) {
        return;
    }
    showingPicture = false;
    if (decodedText.isEmpty()) {
        resultEdit->clear();  // the reason a picture failed does not outlive it
    }
    detectionView->clearFrame();
    updateDecoding();
    updateVideoArea();
}

void CCodecTestDialog::onShowDetection(bool on) {
    showDetection = on;
    worker.keepPicture = on;
    if (!on && !showingPicture) {
        detectionView->clearFrame();
    }
    updateVideoArea();
}

void CCodecTestDialog::onAllSymbols(bool on) {
    allSymbols = on;
    worker.allSymbols = on;
}

void CCodecTestDialog::onEveryFrame(bool on) {
    everyFrame = on;
    updateDecoding();
}

void CCodecTestDialog::updateDecoding() {
    const bool live = cameraStarted && !showingPicture && !closed;
    if (live && everyFrame) {
        decodeTimer.stop();
        worker.start(videoWindow->frameStream());
        return;
    }
    worker.stop();
    if (!live) {
        decodeTimer.stop();
    } else if (!decodeTimer.isActive()) {
        decodeTimer.start();
    }
}

// The worker's newest outcome; those it replaced were never shown. The result box and the beep
// as at a tick, the beep ten times a second at most.
void CCodecTestDialog::onFrameDecoded() {
    std::optional<DecodeOutcome> outcome = worker.takeOutcome();
    if (!outcome || closed || showingPicture || !everyFrame) {
        return;
    }
    if (outcome->decoded && (!sinceBeep.isValid() || sinceBeep.elapsed() >= kDecodePeriodMs)) {
        sinceBeep.start();
        beep500Hz20ms();
    }
    showCameraOutcome(*outcome);
}

void CCodecTestDialog::showCameraOutcome(const DecodeOutcome& outcome) {
    lastFrame = outcome.frameSize;
    if (showDetection) {
        showOutcome(outcome, outcome.picture, true);
    } else if (outcome.decoded) {
        showDecodedText(outcome.text);
    }
}

// The decoded text replaces the result box's; the picture and what was found in it go to the
// detection view and its caption.
void CCodecTestDialog::showOutcome(const DecodeOutcome& outcome, const QImage& picture,
                                   bool camera) {
    if (outcome.decoded) {
        showDecodedText(outcome.text);
    }
    detectionView->showFrame(picture, outcome.outlines, outcome.decoded);
    if (outcome.symbolCount > 1) {
        detectionCaption->setText(text(ui::kSymbolsCaption).arg(outcome.symbolCount));
    } else if (outcome.decoded) {
        const SymbolSize& size = symbolSize(outcome.sizeIndex);
        QString caption =
            text(ui::kDecodedCaption)
                .arg(QStringLiteral("%1x%2").arg(size.symbolCols).arg(size.symbolRows));
        if (outcome.grade) {  // indicative: measured on a camera frame or a picture
            caption += text(ui::kGradeCaption)
                           .arg(QChar::fromLatin1(gradeLetter(*outcome.grade)))
                           .arg(*outcome.grade, 0, 'f', 1);
        }
        detectionCaption->setText(caption);
    } else {
        detectionCaption->setText(failureText(outcome.status));
    }
    if (camera) {
        detectionCaption->setText(detectionCaption->text() +
                                  text(ui::kDecodeRateCaption).arg(decodeRate.perSecond()));
    }
    updateVideoArea();
}

// The camera's own preview, or the detection view over it: a picture while one is shown,
// the decoder's frames while the detection results are asked for.
void CCodecTestDialog::updateVideoArea() {
    const bool still =
        showingPicture || (showDetection && cameraStarted && detectionView->holdsPicture());
    detectionView->setOutlineVisible(showDetection);
    detectionView->setVisible(still);
    if (still) {
        detectionView->raise();
    }
    videoWindow->setPreviewVisible(!still && cameraStarted);
    detectionCaption->setVisible(showDetection && detectionView->holdsPicture());
}

void CCodecTestDialog::onGenerate() {
    GenerationRequest request;
    request.text = messageEdit->toPlainText();
    path.clear();
    request.fileName = fileNameEdit->text();
    request.folder = folderEdit->text();
    request.moduleSize = moduleSizePixels;
    request.quietZone = quietZoneModules;
    const GenerationResult result = runGeneration(request, *this);
    path = result.outputPath;
    if (result.outcome == GenerationOutcome::Written) {
        jpegPicture.Load(path);
        if (jpegPicture.holdsPicture()) {
            update(symbolRect());
        }
    }
}

QRect CCodecTestDialog::symbolRect() const {
    return symbolArea->geometry();
}

void CCodecTestDialog::drawPicture() {
    if (!jpegPicture.holdsPicture()) {
        return;
    }
    QPainter painter(this);
    jpegPicture.Render(painter, symbolRect());
}

void CCodecTestDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    jpegPicture.Load(path);  // the file is read again at every repaint
    drawPicture();
}

void CCodecTestDialog::onChangeFolder() {
    const QString chosen = chooseFolder ? chooseFolder() : QString();
    // A cancelled choice, or a path too short to be a folder, falls back to home.
    setFolder(chosen.size() < 3 ? QDir::homePath() : chosen);
}

// The box is narrow: it shows the tail of the path, which names the folder, and the whole
// path as its tooltip.
void CCodecTestDialog::setFolder(const QString& folder) {
    folderEdit->setText(folder);
    folderEdit->setCursorPosition(static_cast<int>(folder.size()));
    folderEdit->setToolTip(folder);
}

void CCodecTestDialog::onSelChangeQuietZone(int index) {
    if (index >= 0) {
        quietZoneModules = index + 1;
    }
}

void CCodecTestDialog::onSelChangeModuleSize(int index) {
    if (index >= 0) {
        moduleSizePixels = index + 1;
    }
}

void CCodecTestDialog::onTimer() {
    if (closed || !decodeTick) {
        return;
    }
    const std::optional<DecodeOutcome> outcome = decodeTick->run(showDetection, allSymbols);
    if (outcome) {
        decodeRate.count();
    }
    // The dialog may have been closed, a picture shown or the worker asked for while the tick
    // waited for its frame.
    if (!outcome || closed || showingPicture || everyFrame) {
        return;
    }
    showCameraOutcome(*outcome);
}

void CCodecTestDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            // Closing a list or leaving a box with Escape must not end the program; the window
            // closes from its title bar (x, Alt+F4).
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // No default button: Enter presses only a button that has the focus.
            if (auto* button = qobject_cast<QPushButton*>(focusWidget());
                button != nullptr && button->isEnabled()) {
                button->click();
            }
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

// Files dragged over the text box are not taken as text; pictures go to the video area.
bool CCodecTestDialog::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if ((watched == messageEdit || watched == messageEdit->viewport()) &&
        (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (drag->mimeData() != nullptr && drag->mimeData()->hasUrls()) {
            drag->ignore();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CCodecTestDialog::done(int result) {
    decodeTimer.stop();
    closed = true;
    updateDecoding();  // the worker, too, stops here
    if (videoWindow != nullptr) {
        videoWindow->StopCamera();
    }
    QDialog::done(result);
}

}  // namespace dm
