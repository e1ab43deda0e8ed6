#include "platform/message_text.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/gbk_text.h"

namespace dm {
namespace {

// Bytes in a message with ECIs that no ECI covers.
constexpr const char* kDefaultEciCharacterSet = "ISO-8859-1";

// The character-set ECIs of the AIM register.
constexpr std::array<std::pair<int32_t, std::string_view>, 35> kEciCharacterSets{{
    {0, "CP437"},        {1, "ISO-8859-1"},   {2, "CP437"},        {3, "ISO-8859-1"},
    {4, "ISO-8859-2"},   {5, "ISO-8859-3"},   {6, "ISO-8859-4"},   {7, "ISO-8859-5"},
    {8, "ISO-8859-6"},   {9, "ISO-8859-7"},   {10, "ISO-8859-8"},  {11, "ISO-8859-9"},
    {12, "ISO-8859-10"}, {13, "ISO-8859-11"}, {15, "ISO-8859-13"}, {16, "ISO-8859-14"},
    {17, "ISO-8859-15"}, {18, "ISO-8859-16"}, {20, "SHIFT_JIS"},   {21, "CP1250"},
    {22, "CP1251"},      {23, "CP1252"},      {24, "CP1256"},      {25, "UTF-16BE"},
    {26, "UTF-8"},       {27, "ASCII"},       {28, "BIG5"},        {29, "GB18030"},
    {30, "EUC-KR"},      {31, "GBK"},         {32, "GB18030"},     {33, "UTF-16LE"},
    {34, "UTF-32BE"},    {35, "UTF-32LE"},    {170, "ASCII"},
}};

}  // namespace

std::optional<std::string_view> eciCharacterSet(int32_t eci) {
    // Binary data has no character set; its bytes are shown one character each.
    if (eci == 899)
        return "ISO-8859-1";
    const auto* it = std::find_if(kEciCharacterSets.begin(), kEciCharacterSets.end(),
                                  [eci](const auto& entry) { return entry.first == eci; });
    if (it == kEciCharacterSets.end())
        return std::nullopt;
    return it->second;
}

std::string messageText(std::string_view bytes, std::span<const EciSegment> segments) {
    if (segments.empty())
        return gbkToUtf8(bytes);
    std::string text;
    size_t begin = 0;
    std::string_view characterSet = kDefaultEciCharacterSet;
    auto convertUpTo = [&](size_t end) {
        end = std::clamp(end, begin, bytes.size());
        const std::string_view part = bytes.substr(begin, end - begin);
        std::optional<std::string> converted = toUtf8(part, std::string(characterSet).c_str());
        if (!converted)
            converted = toUtf8(part, kDefaultEciCharacterSet);
        text += converted.value_or(std::string());
        begin = end;
    };
    for (const EciSegment& segment : segments) {
        convertUpTo(static_cast<size_t>(std::max(segment.begin, 0)));
        characterSet = eciCharacterSet(segment.eci).value_or(kDefaultEciCharacterSet);
    }
    convertUpTo(bytes.size());
    return text;
}

}  // namespace dm
