// The vectorised rows are compiled once per x86 instruction set worth having (SSE4, AVX2) in
// this one file, with Highway's headers alone: no Highway library is linked, and the set is
// chosen by a processor check of our own rather than Highway's dispatch (which lives in its
// library). Elsewhere the compiler's own target is used.
#include "detection/shared/pixel_rows.h"

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

#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace dm::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace dm {

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

namespace {

using GrayRowKernel = size_t (*)(const uint8_t*, int32_t, uint8_t*, size_t);
using HalvedRowKernel = size_t (*)(const uint8_t*, const uint8_t*, int32_t, uint8_t*, size_t);

struct Kernels {
    GrayRowKernel gray = nullptr;
    HalvedRowKernel halved = nullptr;
    const char* name = "scalar";
};

// The widest compiled set the processor runs. A function-local constant: set once, read only.
const Kernels& kernels() {
    static const Kernels chosen = [] {
#if HWY_ARCH_X86
        __builtin_cpu_init();
#if HWY_TARGETS & HWY_AVX2
        if (__builtin_cpu_supports("avx2"))
            return Kernels{N_AVX2::grayRowVector, N_AVX2::halvedGrayRowVector, "AVX2"};
#endif
#if HWY_TARGETS & HWY_SSE4
        if (__builtin_cpu_supports("sse4.2"))
            return Kernels{N_SSE4::grayRowVector, N_SSE4::halvedGrayRowVector, "SSE4"};
#endif
        return Kernels{};
#else
        return Kernels{HWY_STATIC_DISPATCH(grayRowVector), HWY_STATIC_DISPATCH(halvedGrayRowVector),
                       "the compiler's target"};
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

const char* pixelRowTarget() {
    return kernels().name;
}

}  // namespace dm
#endif  // HWY_ONCE
