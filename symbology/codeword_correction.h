#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "symbology/api.h"
#include "symbology/decode_status.h"
#include "symbology/reed_solomon.h"

namespace dm {

// What one Reed-Solomon block needed.
struct BlockErrors {
    int32_t errors = 0;          // codewords corrected; -1 when the block could not be corrected
    int32_t capacity = 0;        // codewords the block can correct
    int32_t erased = 0;          // doubtful codewords corrected as erasures
    int32_t spareSyndromes = 0;  // syndromes that still check the correction (see correctBlock)
};

// A codeword stream after Reed-Solomon correction.
struct CodewordCorrection {
    bool ok = false;
    DecodeStatus status = DecodeStatus::MissingInput;  // Success when ok, else what stopped it
    // The interleaving the blocks were read under: Legacy only for a 144x144 stream that reads
    // under it and not under the standard one.
    Interleaving interleaving = Interleaving::Compliant;
    // When ok, the whole stream corrected (data codewords, then error correction); else empty.
    std::vector<uint8_t> codewords;
    // Per block in order (those after an uncorrectable one only when every block was asked for).
    std::vector<BlockErrors> blocks;
};

// How far the correction goes past an uncorrectable block.
enum class BlockScope {
    UntilUncorrectable,  // stop there: the stream cannot be read
    EveryBlock,          // correct the others as well, for their error counts
};

// Splits the stream (data, then error correction) into its blocks, corrects each and joins the
// result. A 144x144 stream that leaves a block uncorrectable is read again with the legacy
// interleaving, which some writers use; when that fails too, the standard reading is reported.
// doubt, when given, rates each stream position (0 sure, more: more doubtful); a block that
// does not correct as it is is corrected again with its most doubtful codewords erased, as
// many as leave a codeword's two syndromes to check the result, then half as many.
DM_API CodewordCorrection correctCodewords(std::span<const uint8_t> stream, int sizeIndex,
                                           BlockScope scope = BlockScope::UntilUncorrectable,
                                           std::span<const uint8_t> doubt = {});

// Stream position of codeword i of block k (data first, then error correction) under the
// interleaving; sizeIndex valid, k and i within the block.
DM_API int blockPosition(int sizeIndex, int k, int i, Interleaving interleaving);

}  // namespace dm
