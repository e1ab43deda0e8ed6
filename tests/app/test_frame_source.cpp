#include "tests/app/test_frame_source.h"

#include <QPainter>
#include <cstring>

namespace dm::test {

std::unique_ptr<TestFrameSource> symbolCamera(std::string_view message) {
    const std::optional<EncodedSymbol> symbol = EncodeMessage(message);
    const SynthFrame frame = symbol
                                 ? synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side,
                                                   {.width = 320, .height = 240, .moduleSize = 5.0})
                                 : SynthFrame{};
    return std::make_unique<TestFrameSource>(
        VideoFormat{frame.width, frame.height}, [bytes = frame.bgr](int) { return bytes; },
        std::chrono::milliseconds(10));
}

QImage symbolsPicture(const std::vector<PlacedSymbol>& symbols, QSize size, int moduleSize) {
    QImage picture(size, QImage::Format_RGB888);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    for (const auto& [symbol, at] : symbols) {
        for (int row = 0; row < symbol.rows; ++row) {
            for (int col = 0; col < symbol.cols; ++col) {
                if (symbol.moduleMatrix[static_cast<size_t>(row * symbol.cols + col)] != 0) {
                    painter.fillRect(at.x() + col * moduleSize, at.y() + row * moduleSize,
                                     moduleSize, moduleSize, Qt::black);
                }
            }
        }
    }
    return picture;
}

std::unique_ptr<TestFrameSource> pictureCamera(const QImage& picture) {
    // Camera format: BGR, rows bottom-up, each padded to 4 bytes.
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    const auto row = static_cast<size_t>(bgr.width()) * 3;
    const size_t stride = (row + 3) / 4 * 4;
    std::vector<uint8_t> bytes(stride * static_cast<size_t>(bgr.height()));
    for (int y = 0; y < bgr.height(); ++y) {
        std::memcpy(bytes.data() + stride * static_cast<size_t>(bgr.height() - 1 - y),
                    bgr.constScanLine(y), row);
    }
    return std::make_unique<TestFrameSource>(
        VideoFormat{bgr.width(), bgr.height()}, [bytes](int) { return bytes; },
        std::chrono::milliseconds(10));
}

}  // namespace dm::test
