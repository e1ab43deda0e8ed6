#include "tests/support/avi_writer.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <vector>

namespace dm::test {
namespace {

// Little-endian RIFF writing into a byte vector; chunks and lists are closed by patching
// their size once their contents are known.
struct Riff {
    std::vector<uint8_t> bytes;

    void u16(uint32_t v) { bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)}); }
    void u32s(std::initializer_list<uint32_t> values) {
        for (const uint32_t v : values) {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    }
    void fourcc(std::string_view code) { bytes.insert(bytes.end(), code.begin(), code.end()); }
    // Opens a chunk (a list when it has a list type) and returns where its size goes.
    size_t open(std::string_view id, std::string_view listType = {}) {
        fourcc(id);
        const size_t at = bytes.size();
        u32s({0});
        fourcc(listType);
        return at;
    }
    void close(size_t at) {
        const auto size = static_cast<uint32_t>(bytes.size() - at - 4);
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<uint8_t>(size >> (8 * i));
        }
        if (size % 2 != 0) {
            bytes.push_back(0);  // chunks start on even offsets
        }
    }
};

constexpr uint32_t code(const char (&fourcc)[5]) {
    return uint32_t(uint8_t(fourcc[0])) | uint32_t(uint8_t(fourcc[1])) << 8 |
           uint32_t(uint8_t(fourcc[2])) << 16 | uint32_t(uint8_t(fourcc[3])) << 24;
}

// Pixel (x, y) of a camera-format frame as red, green, blue; y counted from the top.
std::array<int, 3> rgbAt(const SynthFrame& f, int x, int y) {
    const uint8_t* p = f.bgr.data() + static_cast<size_t>(f.height - 1 - y) * f.stride + 3 * x;
    return {p[2], p[1], p[0]};
}

// Studio-range BT.601 luma and chroma, as cameras deliver them.
uint8_t luma(std::array<int, 3> c) {
    return uint8_t(16 + (66 * c[0] + 129 * c[1] + 25 * c[2] + 128) / 256);
}
uint8_t blueDiff(std::array<int, 3> c) {
    return uint8_t(128 + (-38 * c[0] - 74 * c[1] + 112 * c[2] + 128) / 256);
}
uint8_t redDiff(std::array<int, 3> c) {
    return uint8_t(128 + (112 * c[0] - 94 * c[1] - 18 * c[2] + 128) / 256);
}

std::vector<uint8_t> yuy2(const SynthFrame& f) {
    std::vector<uint8_t> out;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x + 1 < f.width; x += 2) {
            const auto a = rgbAt(f, x, y);
            out.insert(out.end(), {luma(a), blueDiff(a), luma(rgbAt(f, x + 1, y)), redDiff(a)});
        }
    }
    return out;
}

std::vector<uint8_t> i420(const SynthFrame& f) {
    std::vector<uint8_t> planes[3];
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            const auto c = rgbAt(f, x, y);
            planes[0].push_back(luma(c));
            if (x % 2 == 0 && y % 2 == 0) {
                planes[1].push_back(blueDiff(c));
                planes[2].push_back(redDiff(c));
            }
        }
    }
    planes[0].insert(planes[0].end(), planes[1].begin(), planes[1].end());
    planes[0].insert(planes[0].end(), planes[2].begin(), planes[2].end());
    return planes[0];
}

std::vector<uint8_t> jpeg(const SynthFrame& f, int subsampling) {
    std::vector<uint8_t> out;
    tjhandle handle = tjInitCompress();
    unsigned char* data = nullptr;
    unsigned long size = 0;
    // The frame's rows are stored bottom-up, as the flag says.
    if (handle != nullptr &&
        tjCompress2(handle, f.bgr.data(), f.width, f.stride, f.height, TJPF_BGR, &data, &size,
                    subsampling, 90, TJFLAG_BOTTOMUP) == 0) {
        out.assign(data, data + size);
    }
    tjFree(data);
    if (handle != nullptr) {
        tjDestroy(handle);
    }
    return out;
}

struct FormatInfo {
    std::string_view name;
    uint32_t compression;  // 0: uncompressed RGB
    uint16_t bitCount;
    std::vector<uint8_t> (*encode)(const SynthFrame&);
};

FormatInfo infoOf(ClipFormat format) {
    switch (format) {
        case ClipFormat::Yuy2:
            return {"YUY2", code("YUY2"), 16, yuy2};
        case ClipFormat::I420:
            return {"I420", code("I420"), 12, i420};
        case ClipFormat::Bgrx:
            // A 32-bit device-independent bitmap: bottom-up rows like the frame, a zero fourth
            // byte.
            return {"BGRx", 0, 32, [](const SynthFrame& f) { return bgrxPixels(f, 0); }};
        case ClipFormat::Rgb24:  // the frame as it is: bottom-up, rows padded to 4 bytes
            return {"RGB24", 0, 24, [](const SynthFrame& f) { return f.bgr; }};
        case ClipFormat::Mjpeg420:
            return {"MJPEG-420", code("MJPG"), 24,
                    [](const SynthFrame& f) { return jpeg(f, TJSAMP_420); }};
        case ClipFormat::Mjpeg422:
            return {"MJPEG-422", code("MJPG"), 24,
                    [](const SynthFrame& f) { return jpeg(f, TJSAMP_422); }};
    }
    return {};
}

}  // namespace

std::string_view clipFormatName(ClipFormat format) {
    return infoOf(format).name;
}

bool writeAviClip(const std::string& path, ClipFormat format, std::span<const SynthFrame> frames,
                  int fps) {
    const FormatInfo info = infoOf(format);
    std::vector<std::vector<uint8_t>> encoded;
    uint32_t largest = 0;
    for (const SynthFrame& frame : frames) {
        encoded.push_back(info.encode(frame));
        if (encoded.back().empty()) {
            return false;
        }
        largest = std::max(largest, static_cast<uint32_t>(encoded.back().size()));
    }
    if (encoded.empty() || fps <= 0) {
        return false;
    }
    const auto width = static_cast<uint32_t>(frames[0].width);
    const auto height = static_cast<uint32_t>(frames[0].height);
    const auto count = static_cast<uint32_t>(frames.size());
    const auto rate = static_cast<uint32_t>(fps);
    const std::string_view chunkId = info.compression == code("MJPG") ? "00dc" : "00db";

    Riff avi;
    const size_t riff = avi.open("RIFF", "AVI ");
    const size_t hdrl = avi.open("LIST", "hdrl");
    const size_t avih = avi.open("avih");
    // Microseconds per frame, bytes per second, padding, flags (has an index), frames,
    // initial frames, streams, buffer size, width, height, four reserved.
    avi.u32s(
        {1000000 / rate, largest * rate, 0, 0x10, count, 0, 1, largest, width, height, 0, 0, 0, 0});
    avi.close(avih);
    const size_t strl = avi.open("LIST", "strl");
    const size_t strh = avi.open("strh");
    avi.fourcc("vids");
    // Handler, flags, priority and language, initial frames, scale, rate, start, length,
    // buffer size, quality (default), sample size (varies).
    avi.u32s({info.compression, 0, 0, 0, 1, rate, 0, count, largest, 0xFFFFFFFF, 0});
    avi.u32s({0, width | height << 16});  // frame rectangle: left, top, right, bottom
    avi.close(strh);
    const size_t strf = avi.open("strf");
    avi.u32s({40, width, height});  // a positive height: RGB rows stored bottom-up
    avi.u16(1);
    avi.u16(info.bitCount);
    avi.u32s({info.compression, largest, 0, 0, 0, 0});
    avi.close(strf);
    avi.close(strl);
    avi.close(hdrl);

    const size_t movi = avi.open("LIST", "movi");
    std::vector<uint32_t> offsets;  // from the "movi" list type
    for (const std::vector<uint8_t>& data : encoded) {
        offsets.push_back(static_cast<uint32_t>(avi.bytes.size() - (movi + 4)));
        const size_t chunk = avi.open(chunkId);
        avi.bytes.insert(avi.bytes.end(), data.begin(), data.end());
        avi.close(chunk);
    }
    avi.close(movi);
    const size_t idx1 = avi.open("idx1");
    for (size_t i = 0; i < encoded.size(); ++i) {
        avi.fourcc(chunkId);
        avi.u32s({0x10, offsets[i], static_cast<uint32_t>(encoded[i].size())});  // key frame
    }
    avi.close(idx1);
    avi.close(riff);

    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(avi.bytes.data()),
               static_cast<std::streamsize>(avi.bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace dm::test
