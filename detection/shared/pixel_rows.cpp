// The vectorised rows are compiled once per x86 instruction set worth having (SSE4, AVX2) in
// this one file, with Highway's headers alone: no Highway library is linked, and the set is
// chosen by a processor check of our own rather than Highway's dispatch (which lives in its
// library). Elsewhere the compiler's own target is used.
#include "detection/shared/pixel_rows.h"

#include <algorithm>

#include "detection/shared/decoder_records.h"

// Only what the kernels need: no AES or carry-less multiply, no BMI, FMA or F16C, so the AVX2
// build needs AVX2 and nothing the check below does not test.
#define HWY_DISABLE_PCLMUL_AES 1
#define HWY_DISABLE_BMI2_FMA 1
#define HWY_DISABLE_F16C 1
#define HWY_DISABLED_TARGETS (HWY_SSSE3 | HWY_AVX3 | HWY_AVX3_DL)

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "detection/shared/pixel_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace dm::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR
// Vectors of one lane: the scalar rows do it all.
size_t grayRowVector(const uint8_t*, int32_t, uint8_t*, size_t) {
    return 0;
}
size_t halvedGrayRowVector(const uint8_t*, const uint8_t*, int32_t, uint8_t*, size_t) {
    return 0;
}
size_t rowSumsVector(const uint8_t*, uint16_t*, size_t) {
    return 1;
}
size_t smoothedRowVector(const uint16_t*, const uint16_t*, const uint16_t*, uint8_t*, size_t) {
    return 0;
}
size_t addBlockRowVector(const uint8_t*, const uint8_t*, uint16_t*, uint16_t*, uint16_t*, size_t) {
    return 0;
}
#else

// Gray of 16-bit channel values (each at most 255): the weighted sum fits 16 bits, and
// (sum * 5243) >> 19 is the high half of the 16-bit product shifted by 3, which equals sum / 100.
template <class D16, class V16 = hn::Vec<D16> >
HWY_INLINE V16 grayOf(D16 d16, V16 blue, V16 green, V16 red) {
    const V16 sum =
        hn::Add(hn::Add(hn::Mul(blue, hn::Set(d16, 11)), hn::Mul(green, hn::Set(d16, 59))),
                hn::Mul(red, hn::Set(d16, 30)));
    return hn::ShiftRight<3>(hn::MulHigh(sum, hn::Set(d16, 5243)));
}

// 16-bit lanes of at most 255 narrowed to bytes (through signed lanes, which narrow to bytes
// with saturation that values this small never reach).
template <class D8, class V16>
HWY_INLINE hn::Vec<D8> narrowed(D8 d8, V16 v) {
    const hn::RebindToSigned<hn::DFromV<V16> > di16;
    return hn::DemoteTo(d8, hn::BitCast(di16, v));
}

// Returns the pixels done; the caller finishes the rest a pixel at a time.
size_t grayRowVector(const uint8_t* HWY_RESTRICT pixels, int32_t bytesPerPixel,
                     uint8_t* HWY_RESTRICT out, size_t count) {
    const hn::ScalableTag<uint16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> d8;  // as many bytes as 16-bit lanes
    const size_t n = hn::Lanes(d16);
    size_t x = 0;
    if (bytesPerPixel == 3) {
        for (; x + n <= count; x += n) {
            hn::Vec<decltype(d8)> b, g, r;
            hn::LoadInterleaved3(d8, pixels + 3 * x, b, g, r);
            const auto gray =
                grayOf(d16, hn::PromoteTo(d16, b), hn::PromoteTo(d16, g), hn::PromoteTo(d16, r));
            hn::StoreU(narrowed(d8, gray), d8, out + x);
        }
    } else if (bytesPerPixel == 4) {
        for (; x + n <= count; x += n) {
            hn::Vec<decltype(d8)> b, g, r, a;
            hn::LoadInterleaved4(d8, pixels + 4 * x, b, g, r, a);
            const auto gray =
                grayOf(d16, hn::PromoteTo(d16, b), hn::PromoteTo(d16, g), hn::PromoteTo(d16, r));
            hn::StoreU(narrowed(d8, gray), d8, out + x);
        }
    }
    return x;
}

// Sums of horizontal pairs of bytes: the byte vector read as 16-bit lanes holds a pair in each,
// the first byte low.
template <class D16, class V8>
HWY_INLINE hn::Vec<D16> pairSums(D16 d16, V8 bytes) {
    const auto pairs = hn::BitCast(d16, bytes);
    return hn::Add(hn::And(pairs, hn::Set(d16, 0xFF)), hn::ShiftRight<8>(pairs));
}

// The rounded mean of a 2 x 2 block from the pair sums of its two rows.
template <class D16, class V16 = hn::Vec<D16> >
HWY_INLINE V16 meanOf(D16 d16, V16 top, V16 bottom) {
    return hn::ShiftRight<2>(hn::Add(hn::Add(top, bottom), hn::Set(d16, 2)));
}

size_t halvedGrayRowVector(const uint8_t* HWY_RESTRICT top, const uint8_t* HWY_RESTRICT bottom,
                           int32_t bytesPerPixel, uint8_t* HWY_RESTRICT out, size_t count) {
    const hn::ScalableTag<uint16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> dOut;      // one byte per output pixel
    const hn::Repartition<uint8_t, decltype(d16)> dIn;  // two input pixels per output pixel
    const size_t n = hn::Lanes(d16);
    size_t x = 0;
    auto store = [&](auto gray) { hn::StoreU(narrowed(dOut, gray), dOut, out + x); };
    if (bytesPerPixel == 1) {
        for (; x + n <= count; x += n) {
            store(meanOf(d16, pairSums(d16, hn::LoadU(dIn, top + 2 * x)),
                         pairSums(d16, hn::LoadU(dIn, bottom + 2 * x))));
        }
    } else if (bytesPerPixel == 3) {
        for (; x + n <= count; x += n) {
            hn::Vec<decltype(dIn)> b0, g0, r0, b1, g1, r1;
            hn::LoadInterleaved3(dIn, top + 6 * x, b0, g0, r0);
            hn::LoadInterleaved3(dIn, bottom + 6 * x, b1, g1, r1);
            store(grayOf(d16, meanOf(d16, pairSums(d16, b0), pairSums(d16, b1)),
                         meanOf(d16, pairSums(d16, g0), pairSums(d16, g1)),
                         meanOf(d16, pairSums(d16, r0), pairSums(d16, r1))));
        }
    } else if (bytesPerPixel == 4) {
        for (; x + n <= count; x += n) {
            hn::Vec<decltype(dIn)> b0, g0, r0, a0, b1, g1, r1, a1;
            hn::LoadInterleaved4(dIn, top + 8 * x, b0, g0, r0, a0);
            hn::LoadInterleaved4(dIn, bottom + 8 * x, b1, g1, r1, a1);
            store(grayOf(d16, meanOf(d16, pairSums(d16, b0), pairSums(d16, b1)),
                         meanOf(d16, pairSums(d16, g0), pairSums(d16, g1)),
                         meanOf(d16, pairSums(d16, r0), pairSums(d16, r1))));
        }
    }
    return x;
}

// Gray levels under [1 2 1] into 16-bit sums, for x from 1 while x + 1 < w; returns the x
// reached (the caller finishes the rest and both ends).
size_t rowSumsVector(const uint8_t* HWY_RESTRICT g, uint16_t* HWY_RESTRICT r, size_t w) {
    const hn::ScalableTag<uint16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> d8;
    const size_t n = hn::Lanes(d16);
    size_t x = 1;
    for (; x + n + 1 <= w; x += n) {
        const auto left = hn::PromoteTo(d16, hn::LoadU(d8, g + x - 1));
        const auto here = hn::PromoteTo(d16, hn::LoadU(d8, g + x));
        const auto right = hn::PromoteTo(d16, hn::LoadU(d8, g + x + 1));
        hn::StoreU(hn::Add(hn::Add(left, right), hn::Add(here, here)), d16, r + x);
    }
    return x;
}

size_t smoothedRowVector(const uint16_t* HWY_RESTRICT above, const uint16_t* HWY_RESTRICT here,
                         const uint16_t* HWY_RESTRICT below, uint8_t* HWY_RESTRICT out, size_t w) {
    const hn::ScalableTag<uint16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> d8;
    const size_t n = hn::Lanes(d16);
    size_t x = 0;
    for (; x + n <= w; x += n) {
        const auto h = hn::LoadU(d16, here + x);
        const auto sum = hn::Add(hn::Add(hn::LoadU(d16, above + x), hn::LoadU(d16, below + x)),
                                 hn::Add(hn::Add(h, h), hn::Set(d16, 8)));
        hn::StoreU(narrowed(d8, hn::ShiftRight<4>(sum)), d8, out + x);
    }
    return x;
}

size_t addBlockRowVector(const uint8_t* HWY_RESTRICT r0, const uint8_t* HWY_RESTRICT r1,
                         uint16_t* HWY_RESTRICT low, uint16_t* HWY_RESTRICT high,
                         uint16_t* HWY_RESTRICT sum, size_t blocks) {
    const hn::ScalableTag<uint16_t> d16;
    const hn::Repartition<uint8_t, decltype(d16)> dIn;  // two pixels per block
    const size_t n = hn::Lanes(d16);
    size_t i = 0;
    for (; i + n <= blocks; i += n) {
        const auto s = hn::Add(pairSums(d16, hn::LoadU(dIn, r0 + 2 * i)),
                               pairSums(d16, hn::LoadU(dIn, r1 + 2 * i)));
        hn::StoreU(hn::Min(hn::LoadU(d16, low + i), s), d16, low + i);
        hn::StoreU(hn::Max(hn::LoadU(d16, high + i), s), d16, high + i);
        hn::StoreU(hn::Add(hn::LoadU(d16, sum + i), s), d16, sum + i);
    }
    return i;
}

#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace dm::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace dm {

namespace {

// The [1 2 1] sums of a row from x = from on, both ends with the edge repeated.
void rowSumsFrom(const uint8_t* g, uint16_t* r, size_t w, size_t from) {
    for (size_t x = std::max<size_t>(from, 1); x + 1 < w; ++x)
        r[x] = static_cast<uint16_t>(g[x - 1] + 2 * g[x] + g[x + 1]);
    r[0] = static_cast<uint16_t>(3 * g[0] + g[1]);
    r[w - 1] = static_cast<uint16_t>(g[w - 2] + 3 * g[w - 1]);
}

}  // namespace

void grayRowScalar(const uint8_t* pixels, int32_t bytesPerPixel, uint8_t* out, size_t count) {
    if (bytesPerPixel == 1) {
        for (size_t x = 0; x < count; ++x)
            out[x] = pixels[x];
        return;
    }
    for (size_t x = 0; x < count; ++x)
        out[x] = grayOfBgr(pixels + x * static_cast<size_t>(bytesPerPixel));
}

void halvedGrayRowScalar(const uint8_t* top, const uint8_t* bottom, int32_t bytesPerPixel,
                         uint8_t* out, size_t count) {
    const auto bytes = static_cast<size_t>(bytesPerPixel);
    for (size_t x = 0; x < count; ++x) {
        const uint8_t* p = top + 2 * x * bytes;
        const uint8_t* q = bottom + 2 * x * bytes;
        if (bytes == 1) {
            out[x] = static_cast<uint8_t>((p[0] + p[1] + q[0] + q[1] + 2) / 4);
            continue;
        }
        uint8_t mean[3];
        for (size_t c = 0; c < 3; ++c)
            mean[c] = static_cast<uint8_t>((p[c] + p[bytes + c] + q[c] + q[bytes + c] + 2) / 4);
        out[x] = grayOfBgr(mean);
    }
}

void rowSumsScalar(const uint8_t* g, uint16_t* r, size_t w) {
    rowSumsFrom(g, r, w, 1);
}

void smoothedRowScalar(const uint16_t* above, const uint16_t* here, const uint16_t* below,
                       uint8_t* out, size_t w) {
    for (size_t x = 0; x < w; ++x)
        out[x] = static_cast<uint8_t>((above[x] + 2 * here[x] + below[x] + 8) / 16);
}

void addBlockRowScalar(const uint8_t* r0, const uint8_t* r1, uint16_t* low, uint16_t* high,
                       uint16_t* sum, size_t blocks) {
    for (size_t i = 0; i < blocks; ++i) {
        const auto s = static_cast<uint16_t>(r0[2 * i] + r0[2 * i + 1] + r1[2 * i] + r1[2 * i + 1]);
        low[i] = std::min(low[i], s);
        high[i] = std::max(high[i], s);
        sum[i] = static_cast<uint16_t>(sum[i] + s);
    }
}

namespace {

using GrayRowKernel = size_t (*)(const uint8_t*, int32_t, uint8_t*, size_t);
using HalvedRowKernel = size_t (*)(const uint8_t*, const uint8_t*, int32_t, uint8_t*, size_t);
using RowSumsKernel = size_t (*)(const uint8_t*, uint16_t*, size_t);
using SmoothedRowKernel = size_t (*)(const uint16_t*, const uint16_t*, const uint16_t*, uint8_t*,
                                     size_t);
using BlockRowKernel = size_t (*)(const uint8_t*, const uint8_t*, uint16_t*, uint16_t*, uint16_t*,
                                  size_t);

struct Kernels {
    GrayRowKernel gray = nullptr;
    HalvedRowKernel halved = nullptr;
    RowSumsKernel rowSums = nullptr;
    SmoothedRowKernel smoothed = nullptr;
    BlockRowKernel blocks = nullptr;
    const char* name = "scalar";
};

// The kernels of one compiled set.
#define DM_KERNELS(SET, NAME)                                                                     \
    Kernels {                                                                                     \
        SET::grayRowVector, SET::halvedGrayRowVector, SET::rowSumsVector, SET::smoothedRowVector, \
            SET::addBlockRowVector, NAME                                                          \
    }

// The widest compiled set the processor runs. A function-local constant: set once, read only.
const Kernels& kernels() {
    static const Kernels chosen = [] {
#if HWY_ARCH_X86
        __builtin_cpu_init();
#if HWY_TARGETS & HWY_AVX2
        if (__builtin_cpu_supports("avx2"))
            return DM_KERNELS(N_AVX2, "AVX2");
#endif
#if HWY_TARGETS & HWY_SSE4
        if (__builtin_cpu_supports("sse4.2"))
            return DM_KERNELS(N_SSE4, "SSE4");
#endif
        return Kernels{};
#else
        return Kernels{
            HWY_STATIC_DISPATCH(grayRowVector),     HWY_STATIC_DISPATCH(halvedGrayRowVector),
            HWY_STATIC_DISPATCH(rowSumsVector),     HWY_STATIC_DISPATCH(smoothedRowVector),
            HWY_STATIC_DISPATCH(addBlockRowVector), "the compiler's target"};
#endif
    }();
    return chosen;
}

}  // namespace

void grayRow(const uint8_t* pixels, int32_t bytesPerPixel, uint8_t* out, size_t count) {
    const Kernels& k = kernels();
    const size_t done =
        k.gray && bytesPerPixel != 1 ? k.gray(pixels, bytesPerPixel, out, count) : 0;
    grayRowScalar(pixels + done * static_cast<size_t>(bytesPerPixel), bytesPerPixel, out + done,
                  count - done);
}

void halvedGrayRow(const uint8_t* top, const uint8_t* bottom, int32_t bytesPerPixel, uint8_t* out,
                   size_t count) {
    const Kernels& k = kernels();
    const size_t done = k.halved ? k.halved(top, bottom, bytesPerPixel, out, count) : 0;
    const size_t skip = 2 * done * static_cast<size_t>(bytesPerPixel);
    halvedGrayRowScalar(top + skip, bottom + skip, bytesPerPixel, out + done, count - done);
}

void rowSums(const uint8_t* g, uint16_t* r, size_t w) {
    const Kernels& k = kernels();
    rowSumsFrom(g, r, w, k.rowSums ? k.rowSums(g, r, w) : 1);
}

void smoothedRow(const uint16_t* above, const uint16_t* here, const uint16_t* below, uint8_t* out,
                 size_t w) {
    const Kernels& k = kernels();
    const size_t done = k.smoothed ? k.smoothed(above, here, below, out, w) : 0;
    smoothedRowScalar(above + done, here + done, below + done, out + done, w - done);
}

void addBlockRow(const uint8_t* r0, const uint8_t* r1, uint16_t* low, uint16_t* high, uint16_t* sum,
                 size_t blocks) {
    const Kernels& k = kernels();
    const size_t done = k.blocks ? k.blocks(r0, r1, low, high, sum, blocks) : 0;
    addBlockRowScalar(r0 + 2 * done, r1 + 2 * done, low + done, high + done, sum + done,
                      blocks - done);
}

const char* pixelRowTarget() {
    return kernels().name;
}

}  // namespace dm
#endif  // HWY_ONCE
