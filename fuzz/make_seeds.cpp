// Writes the seed corpora of the fuzz targets, made with the project's own encoder and test
// frame synthesiser: make_seeds OUTPUT_DIR
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "encoder/message_encoder.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"

namespace fs = std::filesystem;

namespace {

void write(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::span<const uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

const std::vector<std::string> kMessages = {
    "A",
    "123456",
    "Hello, Data Matrix!",
    "\xD6\xD0\xCE\xC4 \r\n 0123456789",
    std::string(60, 'x'),
    std::string(300, '7'),
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds OUTPUT_DIR\n";
        return 2;
    }
    const fs::path out = argv[1];
    int n = 0;
    for (const auto& message : kMessages) {
        const auto symbol = dm::EncodeMessage(bytesOf(message));
        if (!symbol)
            return 1;
        const auto& s = dm::symbolSize(symbol->sizeIndex);
        const std::string name = "seed" + std::to_string(n++);

        // Encoder: module size, quiet zone, message.
        std::vector<uint8_t> enc = {2, 3};
        enc.insert(enc.end(), message.begin(), message.end());
        write(out / "encode", name, enc);

        // Data decodation: size index, then the data codewords.
        std::vector<uint8_t> data = {static_cast<uint8_t>(symbol->sizeIndex)};
        data.insert(data.end(), symbol->codewords.begin(),
                    symbol->codewords.begin() + s.dataCodewords);
        write(out / "decode_data", name, data);

        // Extraction and correction: size index, then one bit per module.
        std::vector<uint8_t> bits(1 + (symbol->moduleMatrix.size() + 7) / 8, 0);
        bits[0] = static_cast<uint8_t>(symbol->sizeIndex);
        for (size_t i = 0; i < symbol->moduleMatrix.size(); ++i) {
            if (symbol->moduleMatrix[i])
                bits[1 + i / 8] |= static_cast<uint8_t>(1 << (i % 8));
        }
        write(out / "extract_correct", name, bits);

        // Frames: small synthesised camera frames of the symbol.
        if (s.symbolRows <= 26) {
            dm::test::SynthOptions o;
            o.moduleSize = 4;
            o.quietZone = 3;
            o.width = (s.symbolCols + 8) * 4 + 8;
            o.height = o.width;
            o.rotationDeg = 10.0 * n;
            const auto frame =
                dm::test::synthesiseFrame(symbol->moduleMatrix, s.symbolRows, s.symbolCols, o);
            std::vector<uint8_t> f = {
                static_cast<uint8_t>(o.width & 0xFF), static_cast<uint8_t>(o.width >> 8),
                static_cast<uint8_t>(o.height & 0xFF), static_cast<uint8_t>(o.height >> 8), 0};
            f.insert(f.end(), frame.bgr.begin(), frame.bgr.end());
            write(out / "decode_frame", name, f);
            write(out / "grade", name, f);
            // The same frame graded at the outline a decode locates, without decoding.
            const dm::ImageView view{frame.bgr,    frame.width,
                                     frame.height, dm::PixelFormat::Bgr,
                                     frame.stride, dm::RowOrder::BottomUp};
            if (const auto corners = dm::decodeImage(view).corners) {
                std::vector<uint8_t> g(f.begin(), f.begin() + 5);
                g[4] = 16;
                g.push_back(static_cast<uint8_t>(symbol->sizeIndex));
                for (const dm::ImagePoint& p : *corners) {
                    for (const double v : {p.x, p.y}) {
                        const auto q = static_cast<uint16_t>(std::lround(v * 4) + 4096);
                        g.push_back(static_cast<uint8_t>(q & 0xFF));
                        g.push_back(static_cast<uint8_t>(q >> 8));
                    }
                }
                g.insert(g.end(), frame.bgr.begin(), frame.bgr.end());
                write(out / "grade", name + "-outline", g);
            }
        }
    }
    // Every encodation scheme's latch, so the data fuzzer starts inside each one, and the
    // codewords that shape the message: macro, FNC1, ECI designators, Reader Programming.
    const std::vector<std::vector<uint8_t>> schemes = {
        {8, 230, 0x5B, 0x0B, 254, 66},                                   // C40 "AIM"
        {8, 239, 0x5B, 0x0B, 254, 66},                                   // Text "aim"
        {8, 238, 0x5B, 0x0B, 254, 66},                                   // X12
        {8, 240, 0x10, 0x41, 0x04, 0x7C, 66},                            // EDIFACT with unlatch
        {8, 231, 47, 194, 88, 237, 66},                                  // Base256
        {8, 233, 0x21, 7, 9, 66, 129},                                   // Structured Append
        {8, 237, 66, 67, 129},                                           // Macro 06
        {8, 232, 131, 232, 140, 66},                                     // GS1 with a separator
        {8, 66, 232, 67, 241, 27, 241, 131, 112, 241, 193, 76, 52, 68},  // AIM, three ECIs
        {8, 234, 37, 74},                                                // Reader Programming
    };
    for (const auto& s : schemes)
        write(out / "decode_data", "scheme" + std::to_string(n++), s);
    return 0;
}
