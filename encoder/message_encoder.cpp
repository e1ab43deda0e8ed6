#include "encoder/message_encoder.h"

#include <algorithm>
#include <array>

#include "symbology/codeword_values.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

constexpr int kCodewordBufferSize = kMaxCodewords + 1;  // 2,179

// Per-call encoder state; all fields as the encodation advances.
struct EncoderState {
    int32_t runStart = 0;
    int32_t runLength = 0;
    int32_t codewordCount = 0;
    int32_t messageLength = 0;
    int32_t sizeIndex = 0;
};

struct EncoderBuffers {
    std::array<uint8_t, kMessageCapacity> message{};
    std::array<uint8_t, kCodewordBufferSize> codewords{};
};

bool isDigit(uint8_t b) {
    return b >= '0' && b <= '9';
}

// ASCII encodation of the run. Stops once the count passes the largest capacity, so the
// codeword buffer is never written past its end. Returns the codewords written.
int EncodeAscii(EncoderState& state, EncoderBuffers& buffers) {
    const int start = state.codewordCount;
    int pos = state.runStart;
    const int end = state.runStart + state.runLength;
    auto emit = [&](int cw) {
        if (state.codewordCount < kCodewordBufferSize) {
            buffers.codewords[state.codewordCount] = static_cast<uint8_t>(cw);
        }
        ++state.codewordCount;
    };
    while (pos < end && state.codewordCount <= kMaxDataCodewords) {
        const uint8_t b = buffers.message[pos];
        if (pos + 1 < end && isDigit(b) && isDigit(buffers.message[pos + 1])) {
            emit(130 + 10 * (b - '0') + (buffers.message[pos + 1] - '0'));
            pos += 2;
        } else if (b <= 127) {
            emit(b + 1);
            pos += 1;
        } else {
            emit(kUpperShift);
            emit(b - 127);
            pos += 1;
        }
    }
    state.runStart = end;
    state.runLength = 0;
    return state.codewordCount - start;
}

int ChooseSquareSymbol(int n) {
    for (int i = 0; i < kSquareCount; ++i) {
        if (n <= kSymbolSizes[i].dataCodewords)
            return i;
    }
    return -1;
}

// Pads with 129, then 253-state randomised pads.
void AppendPadCodewords(EncoderState& state, EncoderBuffers& buffers) {
    const int capacity = symbolSize(state.sizeIndex).dataCodewords;
    int k = state.codewordCount;
    if (k >= capacity)
        return;
    buffers.codewords[k] = kPad;
    for (int j = k + 1; j < capacity; ++j)
        buffers.codewords[j] = randomisedPad(j + 1);
    state.codewordCount = capacity;
}

}  // namespace

int asciiCodewordCount(std::span<const uint8_t> message) {
    int count = 0;
    for (size_t i = 0; i < message.size(); ++i) {
        if (i + 1 < message.size() && isDigit(message[i]) && isDigit(message[i + 1])) {
            ++i;
            count += 1;
        } else {
            count += message[i] <= 127 ? 1 : 2;
        }
    }
    return count;
}

std::optional<EncodedSymbol> EncodeMessage(std::span<const uint8_t> message) {
    if (message.empty() || message.size() > static_cast<size_t>(kMessageCapacity))
        return std::nullopt;
    EncoderBuffers buffers;
    std::copy(message.begin(), message.end(), buffers.message.begin());

    EncoderState state;
    state.messageLength = static_cast<int32_t>(message.size());
    state.runStart = 0;
    state.runLength = state.messageLength;
    EncodeAscii(state, buffers);

    const int sizeIndex = ChooseSquareSymbol(state.codewordCount);
    if (sizeIndex < 0)
        return std::nullopt;
    state.sizeIndex = sizeIndex;
    AppendPadCodewords(state, buffers);

    const SymbolSize& s = symbolSize(sizeIndex);
    const std::span<uint8_t> stream(buffers.codewords.data(), s.dataCodewords + s.eccCodewords);
    encodeBlocks(stream, sizeIndex);

    EncodedSymbol symbol;
    symbol.sizeIndex = sizeIndex;
    symbol.side = s.symbolCols;
    symbol.rows = s.symbolRows;
    symbol.cols = s.symbolCols;
    symbol.codewords.assign(stream.begin(), stream.end());
    symbol.moduleMatrix = placeCodewords(stream, sizeIndex);
    return symbol;
}

}  // namespace dm
