#include "tests/support/avi_writer.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

namespace dm::test {
namespace {

// Little-endian RIFF writing into a byte vector; lists and chunks are closed by patching
// their size once their contents are known.
class Riff {
  public:
    void u16(uint32_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void fourcc(std::string_view code) { bytes.insert(bytes.end(), code.begin(), code.end()); }
    // Opens a chunk (or, with a list type, a list) and returns where its size goes.
    size_t open(std::string_view id, std::string_view listType = {}) {
        fourcc(id);
        const size_t at = bytes.size();
        u32(0);
        if (!listType.empty()) {
            fourcc(listType);
        }
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
    std::vector<uint8_t> bytes;
};

uint32_t code(std::string_view fourcc) {
    return static_cast<uint32_t>(fourcc[0]) | static_cast<uint32_t>(fourcc[1]) << 8 |
           static_cast<uint32_t>(fourcc[2]) << 16 | static_cast<uint32_t>(fourcc[3]) << 24;
}

struct Rgb {
    uint8_t r, g, b;
};

// Pixel (x, y) of a camera-format frame, y counted from the top of the picture.
Rgb pixel(const SynthFrame& frame, int x, int y) {
    const uint8_t* p =
        frame.bgr.data() + static_cast<size_t>(frame.height - 1 - y) * frame.stride + 3 * x;
    return {p[2], p[1], p[0]};
}

// Studio-range BT.601, as cameras deliver it.
uint8_t lumaOf(Rgb c) {
    return static_cast<uint8_t>(16 + (66 * c.r + 129 * c.g + 25 * c.b + 128) / 256);
}
uint8_t blueDiffOf(Rgb c) {
    return static_cast<uint8_t>(128 + (-38 * c.r - 74 * c.g + 112 * c.b + 128) / 256);
}
uint8_t redDiffOf(Rgb c) {
    return static_cast<uint8_t>(128 + (112 * c.r - 94 * c.g - 18 * c.b + 128) / 256);
}

std::vector<uint8_t> yuy2(const SynthFrame& f) {
    std::vector<uint8_t> out;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x + 1 < f.width; x += 2) {
            const Rgb a = pixel(f, x, y);
            const Rgb b = pixel(f, x + 1, y);
            out.insert(out.end(), {lumaOf(a), blueDiffOf(a), lumaOf(b), redDiffOf(a)});
        }
    }
    return out;
}

std::vector<uint8_t> i420(const SynthFrame& f) {
    std::vector<uint8_t> luma;
    std::vector<uint8_t> blue;
    std::vector<uint8_t> red;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            const Rgb c = pixel(f, x, y);
            luma.push_back(lumaOf(c));
            if (x % 2 == 0 && y % 2 == 0) {
                blue.push_back(blueDiffOf(c));
                red.push_back(redDiffOf(c));
            }
        }
    }
    luma.insert(luma.end(), blue.begin(), blue.end());
    luma.insert(luma.end(), red.begin(), red.end());
    return luma;
}

// Bottom-up rows, as device-independent bitmaps store them; 24-bit rows padded to 4 bytes.
std::vector<uint8_t> dib(const SynthFrame& f, int bytesPerPixel) {
    if (bytesPerPixel == 3) {
        return f.bgr;
    }
    std::vector<uint8_t> out;
    for (int row = 0; row < f.height; ++row) {
        for (int x = 0; x < f.width; ++x) {
            const uint8_t* p = f.bgr.data() + static_cast<size_t>(row) * f.stride + 3 * x;
            out.insert(out.end(), {p[0], p[1], p[2], 0});
        }
    }
    return out;
}

std::vector<uint8_t> jpeg(const SynthFrame& f, int subsampling) {
    std::vector<uint8_t> topDown;
    for (int y = 0; y < f.height; ++y) {
        const uint8_t* row = f.bgr.data() + static_cast<size_t>(f.height - 1 - y) * f.stride;
        topDown.insert(topDown.end(), row, row + 3 * f.width);
    }
    tjhandle handle = tjInitCompress();
    unsigned char* data = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> out;
    if (handle != nullptr && tjCompress2(handle, topDown.data(), f.width, 0, f.height, TJPF_BGR,
                                         &data, &size, subsampling, 90, 0) == 0) {
        out.assign(data, data + size);
    }
    tjFree(data);
    if (handle != nullptr) {
        tjDestroy(handle);
    }
    return out;
}

struct FormatInfo {
    uint32_t compression;  // 0: uncompressed RGB
    uint16_t bitCount;
    const char* chunkId;  // uncompressed or compressed video data
};

FormatInfo infoOf(ClipFormat format) {
    switch (format) {
        case ClipFormat::Yuy2:
            return {code("YUY2"), 16, "00db"};
        case ClipFormat::I420:
            return {code("I420"), 12, "00db"};
        case ClipFormat::Bgrx:
            return {0, 32, "00db"};
        case ClipFormat::Rgb24:
            return {0, 24, "00db"};
        case ClipFormat::Mjpeg420:
        case ClipFormat::Mjpeg422:
            return {code("MJPG"), 24, "00dc"};
    }
    return {};
}

std::vector<uint8_t> encodeFrame(const SynthFrame& frame, ClipFormat format) {
    switch (format) {
        case ClipFormat::Yuy2:
            return yuy2(frame);
        case ClipFormat::I420:
            return i420(frame);
        case ClipFormat::Bgrx:
            return dib(frame, 4);
        case ClipFormat::Rgb24:
            return dib(frame, 3);
        case ClipFormat::Mjpeg420:
            return jpeg(frame, TJSAMP_420);
        case ClipFormat::Mjpeg422:
            return jpeg(frame, TJSAMP_422);
    }
    return {};
}

}  // namespace

std::string_view clipFormatName(ClipFormat format) {
    switch (format) {
        case ClipFormat::Yuy2:
            return "YUY2";
        case ClipFormat::I420:
            return "I420";
        case ClipFormat::Bgrx:
            return "BGRx";
        case ClipFormat::Rgb24:
            return "RGB24";
        case ClipFormat::Mjpeg420:
            return "MJPEG-420";
        case ClipFormat::Mjpeg422:
            return "MJPEG-422";
    }
    return "?";
}

bool writeAviClip(const std::string& path, ClipFormat format, std::span<const SynthFrame> frames,
                  int fps) {
    if (frames.empty() || fps <= 0) {
        return false;
    }
    std::vector<std::vector<uint8_t>> encoded;
    size_t largest = 0;
    for (const SynthFrame& frame : frames) {
        encoded.push_back(encodeFrame(frame, format));
        if (encoded.back().empty()) {
            return false;
        }
        largest = std::max(largest, encoded.back().size());
    }
    const FormatInfo info = infoOf(format);
    const auto width = static_cast<uint32_t>(frames[0].width);
    const auto height = static_cast<uint32_t>(frames[0].height);
    const auto count = static_cast<uint32_t>(frames.size());

    Riff avi;
    const size_t riff = avi.open("RIFF", "AVI ");
    const size_t hdrl = avi.open("LIST", "hdrl");
    const size_t avih = avi.open("avih");
    avi.u32(1000000 / fps);  // microseconds per frame
    avi.u32(static_cast<uint32_t>(largest) * fps);
    avi.u32(0);     // padding granularity
    avi.u32(0x10);  // has an index
    avi.u32(count);
    avi.u32(0);  // initial frames
    avi.u32(1);  // streams
    avi.u32(static_cast<uint32_t>(largest));
    avi.u32(width);
    avi.u32(height);
    for (int i = 0; i < 4; ++i) {
        avi.u32(0);
    }
    avi.close(avih);
    const size_t strl = avi.open("LIST", "strl");
    const size_t strh = avi.open("strh");
    avi.fourcc("vids");
    avi.u32(info.compression);  // handler
    avi.u32(0);                 // flags
    avi.u32(0);                 // priority, language
    avi.u32(0);                 // initial frames
    avi.u32(1);                 // scale
    avi.u32(static_cast<uint32_t>(fps));
    avi.u32(0);  // start
    avi.u32(count);
    avi.u32(static_cast<uint32_t>(largest));
    avi.u32(0xFFFFFFFF);  // quality: default
    avi.u32(0);           // sample size: varies
    avi.u16(0);
    avi.u16(0);
    avi.u16(width);
    avi.u16(height);
    avi.close(strh);
    const size_t strf = avi.open("strf");
    avi.u32(40);
    avi.u32(width);
    avi.u32(height);  // positive: RGB rows bottom-up
    avi.u16(1);
    avi.u16(info.bitCount);
    avi.u32(info.compression);
    avi.u32(static_cast<uint32_t>(largest));
    for (int i = 0; i < 4; ++i) {
        avi.u32(0);
    }
    avi.close(strf);
    avi.close(strl);
    avi.close(hdrl);

    const size_t movi = avi.open("LIST", "movi");
    std::vector<std::pair<uint32_t, uint32_t>> index;  // offset from "movi", size
    for (const std::vector<uint8_t>& data : encoded) {
        index.emplace_back(static_cast<uint32_t>(avi.bytes.size() - (movi + 4)),
                           static_cast<uint32_t>(data.size()));
        const size_t chunk = avi.open(info.chunkId);
        avi.bytes.insert(avi.bytes.end(), data.begin(), data.end());
        avi.close(chunk);
    }
    avi.close(movi);
    const size_t idx1 = avi.open("idx1");
    for (const auto& [offset, size] : index) {
        avi.fourcc(info.chunkId);
        avi.u32(0x10);  // key frame
        avi.u32(offset);
        avi.u32(size);
    }
    avi.close(idx1);
    avi.close(riff);

    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(avi.bytes.data()),
               static_cast<std::streamsize>(avi.bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace dm::test
