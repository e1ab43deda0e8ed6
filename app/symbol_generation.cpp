#include "app/symbol_generation.h"

#include <QDir>
#include <QFile>
#include <span>

#include "encoder/jpeg_output.h"
#include "platform/gbk_text.h"

namespace dm {

QString buildOutputPath(const QString& folder, const QString& fileName) {
    const QChar separator = QDir::separator();
    QString path = folder;
    if (!path.endsWith(separator)) {
        path += separator;
    }
    return path + fileName;
}

std::optional<std::string> messageBytes(const QString& text) {
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    crlf.replace(QChar('\n'), QStringLiteral("\r\n"));
    const QByteArray utf8 = crlf.toUtf8();
    return utf8ToGbk(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

GenerationResult runGeneration(const GenerationRequest& request, GenerationNotices& notices) {
    GenerationResult result;
    const std::optional<std::string> message = messageBytes(request.text);
    if (message && message->size() > static_cast<size_t>(kLongTextBytes)) {
        notices.longText();
    }
    result.outputPath = buildOutputPath(request.folder, request.fileName);
    if (request.text.isEmpty() || result.outputPath.size() <= kShortestRejectedPath) {
        return result;
    }
    if (!message) {
        // A character without a GBK form cannot go into the symbol.
        notices.failed();
        result.outcome = GenerationOutcome::Failed;
        return result;
    }
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(message->data()),
                                         message->size());
    const std::string path = QFile::encodeName(result.outputPath).toStdString();
    if (GenerateSymbolFile(bytes, path, request.moduleSize, request.quietZone) == -1) {
        notices.failed();
        result.outcome = GenerationOutcome::Failed;
        return result;
    }
    result.outcome = GenerationOutcome::Written;
    return result;
}

}  // namespace dm
