#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "decoder/decoder_records.h"

namespace dm {

// Turns the corrected data codewords of one symbol (exactly dataCodewords of them, in stream
// order) into the message bytes, appended to text. Starts in ASCII; latches hand over to the
// scheme decoders below. A Structured Append header at the start is recorded in state
// (appendPosition, appendTotal, fileId1, fileId2). On success textLength = text.size() and
// status is left untouched; on failure status is DataDecodationFailed.
bool decodeData(std::span<const uint8_t> data, std::vector<uint8_t>& text, DecodeState& state,
                DecodeStatus& status);

// Scheme decoders. Each starts at data[pos] (just after its latch codeword), appends its output
// to text and leaves pos on the first codeword that ASCII decodes next. A codeword read past the
// end of data is 0. They return false on an invalid value or a segment running past the data.
bool decodeC40(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos);
bool decodeText(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos);
bool decodeX12(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos);
bool decodeEdifact(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos);
bool decodeBase256(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos);

}  // namespace dm
