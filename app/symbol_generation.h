#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace dm {

// What one generation reads from the dialog.
struct GenerationRequest {
    QString text;  // the message box's text
    QString folder;
    QString fileName;
    int32_t moduleSize = 4;
    int32_t quietZone = 3;
};

// The notices a generation may raise; the dialog shows them, tests record them.
class GenerationNotices {
  public:
    virtual ~GenerationNotices() = default;
    virtual void longText() = 0;  // more than 60 bytes: shown, then generation goes on
    virtual void failed() = 0;    // nothing could be written
};

enum class GenerationOutcome { NotGenerated, Failed, Written };

struct GenerationResult {
    QString outputPath;  // folder, one separator, file name
    GenerationOutcome outcome = GenerationOutcome::NotGenerated;
};

// Texts longer than this many bytes bring up the long-text notice.
inline constexpr int kLongTextBytes = 60;
// Output paths of this many characters or fewer are not generated.
inline constexpr int kShortestRejectedPath = 5;

// Folder plus file name with exactly one platform separator between them.
QString buildOutputPath(const QString& folder, const QString& fileName);

// The message bytes of a text: line breaks as CR LF, characters in GBK. Nothing when a
// character has no GBK form.
std::optional<std::string> messageBytes(const QString& text);

// Writes the symbol file for the request when there is something to write.
GenerationResult runGeneration(const GenerationRequest& request, GenerationNotices& notices);

}  // namespace dm
