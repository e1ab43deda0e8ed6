#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "detection/frame_search/frame_search.h"
#include "detection/shared/decoder_records.h"

namespace dm {

// The finder pass's driver: decodes grayscale images, one at a time, through the fixed chain
// threshold -> finder search -> normalisation -> timing walk and sampling -> row flip ->
// decodeModuleMatrix. It also drives the frame search over the same image record, for the
// reading order (decoder/reading.h) to call after the finder pass. Buffers that can be reused
// (row offsets, sampling grid, the frame search's) are kept from one image to the next; the
// threshold variant cycles with every image the finder pass reads.
class Decoder {
  public:
    // Decodes a width x height grayscale image (row-major, no padding) by the finder pass. On
    // success outText receives the decoded bytes, however many; otherwise it is left as it was.
    bool decode(std::span<const uint8_t> pixels, std::string& outText, int width, int height);

    // The finder pass on the image a view describes; returns everything the decode found.
    // Colour pixels are turned to gray only where the detection reads them; the rows are read
    // so that the detection sees the picture bottom-up, as a camera frame stores it.
    DecodeResult decodeView(const ImageView& view);

    // The frame search on the image a view describes, its rows read as decodeView reads them.
    // The readings say whether outlines are read mirrored too and the negative searched too.
    DecodeResult searchView(const ImageView& view, FrameSearchReadings readings);

    // Every symbol the frame search reads in the image (see collectWholeFrame), at most most of
    // them, passing over the symbols known (outer corners in picture coordinates).
    std::vector<DecodeResult> collectView(const ImageView& view, FrameSearchReadings readings,
                                          std::span<const SymbolCorners> known, int32_t most);

    // The chain on the image set in state.image: threshold, detection, row flip, then
    // decodeModuleMatrix. On success the text is in resultText.
    bool decodeSymbol();

    // Forgets the last image and its text; keeps the sampling cache.
    bool resetState();

    DecodeState state;
    DecodeStatus status = DecodeStatus::MissingInput;
    std::string resultText;        // the last decoded text
    int32_t resultSizeIndex = -1;  // size index of the last decoded symbol, -1 when none
    FrameSearchBuffers frameSearch;

  private:
    // Sets the image the view describes and runs detect (decodeSymbol or searchFrame) on it.
    template <typename Detect>
    DecodeResult readView(const ImageView& view, Detect detect);
    // Stored row i is read as row i, or as row height - 1 - i when lastRowFirst.
    template <typename Detect>
    bool decodePixels(std::span<const uint8_t> pixels, std::string& outText, int width, int height,
                      int bytesPerPixel, int64_t rowBytes, bool lastRowFirst, Detect detect);
    bool runPipeline(DetectionContext& context);
    // The frame search on the image set in state.image; on success the text is in resultText.
    bool searchFrame(FrameSearchReadings readings);
    // What the frame search found, into found; with the message, as finishDecoded takes it.
    void takeSearched(const FrameSearchResult& result);
    // decodeSearchedMatrix into this decoder's state, as the frame search calls it.
    MatrixDecoder matrixDecoder();
    // Takes the decoded text and Structured Append fields from the state; returns true.
    bool finishDecoded();

    // What the last decode found besides status and text: size and outline once the symbol
    // was measured (outline in pixels as the detection reads the rows, pixel centres at whole
    // numbers), Structured Append fields once it was decoded.
    DecodeResult found;
};

// The chain after detection: codeword extraction, block split, Reed-Solomon correction, join and
// data decodation of a module matrix in standard orientation (row 0 = alternating top row, solid
// finder in column 0 and the last row, i.e. after the row flip; 1 = dark). On success state.text
// holds the text, textLength its length, sizeIndex the size, and status is Success. For the
// 144x144 size an uncorrectable reading under the standard interleaving is retried with the
// legacy one before failing.
bool decodeModuleMatrix(std::span<const uint8_t> matrix, int sizeIndex, DecodeState& state,
                        DecodeStatus& status);

// decodeModuleMatrix for a matrix the frame search sampled, with two rules against reads of
// patterns that are no symbol (a frame offers many outlines, each sampled several ways, and now
// and then one corrects into a message): an empty message is taken only as an encoder writes it
// (a pad first, nothing corrected), and a speculative read only with a codeword of correction to
// spare in every block. When a block is beyond correction and the sampled levels are given, the
// codewords of modules sampled near the split level are erased and the blocks corrected again;
// such a read too must leave a codeword's two syndromes to spare in every block. A read turned
// away fails with DataDecodationFailed or BlockUncorrectable.
bool decodeSearchedMatrix(std::span<const uint8_t> matrix, int sizeIndex, bool speculative,
                          const SampledLevels* sampled, DecodeState& state, DecodeStatus& status);

// Data decodation of a symbol's corrected data codewords (exactly dataCodewords of them, in
// stream order), as decodeModuleMatrix ends: on success state.text holds the text, textLength
// its length, sizeIndex the size, and status is Success.
bool decodeCorrectedData(std::span<const uint8_t> data, int sizeIndex, DecodeState& state,
                         DecodeStatus& status);

}  // namespace dm
