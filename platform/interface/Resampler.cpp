// SPDX-License-Identifier: MIT
#include "platform/interface/Resampler.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "platform/support/ErrorReason.h"

namespace {

// The loops below run over plain arrays with no aliasing, so that the compiler turns them
// into whole-vector arithmetic; on x86 each is also built for AVX2 with fused multiply-add
// (x86-64-v3) and the loader picks the best the processor has. The two builds may round a
// value a level apart, now and then.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_ADDRESS__)
#define ORV_RESAMPLE_KERNEL __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define ORV_RESAMPLE_KERNEL
#endif

// Shrinking by a large ratio, whole boxes of source pixels are averaged first, as many as
// leave the Lanczos filter at least this ratio: the box costs one addition per source
// value where the filter costs six multiplications, but its aliasing shows when it takes
// too large a share (see the measurements in Resampler.h).
constexpr double kFilterRatio = 2.2;

// At most this many pixels a side in a box: with alpha, a pixel's sums (each colour times
// its alpha) then stay within 32 bits.
constexpr int64 kLargestBox = 257;

double Lanczos(double x, double lobes) {
    x = std::fabs(x);
    if (x < 1e-9) {
        return 1.0;
    }
    if (x >= lobes) {
        return 0.0;
    }
    const double px = M_PI * x;
    const double outer = std::sin(px / lobes);
    // sin 3a = 3 sin a - 4 sin^3 a: one sine a tap for Lanczos-3, the filter of every shrink.
    const double inner = lobes == 3.0 ? outer * (3.0 - 4.0 * outer * outer) : std::sin(px);
    return lobes * inner * outer / (px * px);
}

// Pixel s of a line of n pixels extended beyond its ends. Shrinking, the line is mirrored
// about its end pixels, so that a pattern that alternates from pixel to pixel keeps
// alternating across the edge (a checkerboard halved is grey up to its border); enlarging,
// the end pixels repeat, so that a small picture's edge is not continued by its inside.
int64 Extend(int64 s, int64 n, bool mirror) {
    if (!mirror || n == 1) {
        return std::clamp<int64>(s, 0, n - 1);
    }
    const int64 period = 2 * (n - 1);
    s %= period;
    s += s < 0 ? period : 0;
    return s < n ? s : period - s;
}

// How one axis is resampled: first averaged by whole boxes of `box` source pixels, then
// filtered, each output pixel from `taps` consecutive boxed pixels.
struct Axis {
    int64 box = 1;
    int64 boxed = 0;      // boxed pixels on the whole line
    int64 firstUsed = 0;  // the first boxed pixel any output reads
    int64 used = 0;       // boxed pixels read, from firstUsed on
    size_t taps = 0;
    std::vector<int64> first;    // per output: its first tap, from firstUsed
    std::vector<float> weights;  // per output: its taps' weights, summing to 1
};

// The filter of the outputs lo to hi of a line of `to` pixels made from `from` source
// pixels, around each output's centre: shrinking, Lanczos-3 widened by the ratio; enlarging,
// Lanczos-2, which rings less and costs two thirds; at the same size, the pixel itself.
Axis PlanAxis(int64 from, int64 to, int64 lo, int64 hi) {
    Axis axis;
    const double ratio = double(from) / double(to);
    if (ratio >= 2 * kFilterRatio) {
        axis.box = std::min(int64(ratio / kFilterRatio), kLargestBox);
    }
    axis.boxed = (from + axis.box - 1) / axis.box;
    const double scale = ratio / double(axis.box);
    const bool shrinking = scale > 1.0;
    const double stretch = std::max(scale, 1.0);
    const double lobes = shrinking ? 3.0 : scale < 1.0 ? 2.0 : 0.5;  // 0.5: one tap
    const double reach = lobes * stretch;
    const bool mirror = shrinking;
    // The taps lie in an open interval 2 * reach wide.
    axis.taps = size_t(std::min(axis.boxed, int64(std::ceil(2 * reach))));
    const size_t outputs = size_t(hi - lo + 1);
    axis.first.resize(outputs);
    axis.weights.resize(outputs * axis.taps);
    std::vector<double> dense(axis.taps);
    for (size_t i = 0; i < outputs; i++) {
        const double centre = (double(lo) + double(i) + 0.5) * scale;
        const int64 begin = int64(std::floor(centre - 0.5 - reach)) + 1;
        const int64 end = int64(std::ceil(centre - 0.5 + reach));
        int64 lowest = axis.boxed;
        for (int64 s = begin; s < end; s++) {
            lowest = std::min(lowest, Extend(s, axis.boxed, mirror));
        }
        const int64 first = std::min(lowest, axis.boxed - int64(axis.taps));
        std::fill(dense.begin(), dense.end(), 0.0);
        double sum = 0;
        for (int64 s = begin; s < end; s++) {
            const double w = Lanczos((double(s) + 0.5 - centre) / stretch, lobes);
            dense[size_t(Extend(s, axis.boxed, mirror) - first)] += w;
            sum += w;
        }
        // The rounding error goes to the largest weight: a flat area stays exactly flat.
        float* weights = &axis.weights[i * axis.taps];
        float total = 0;
        size_t largest = 0;
        for (size_t k = 0; k < axis.taps; k++) {
            weights[k] = float(dense[k] / sum);
            total += weights[k];
            largest = weights[k] > weights[largest] ? k : largest;
        }
        weights[largest] += 1.0f - total;
        axis.first[i] = first;
    }
    axis.firstUsed = axis.first.front();
    axis.used = axis.first.back() + int64(axis.taps) - axis.firstUsed;
    for (int64& first : axis.first) {
        first -= axis.firstUsed;
    }
    return axis;
}

// How the bytes of a source row are read. An opaque picture's four bytes are filtered in
// the order they are stored, the fourth with them; a picture with alpha is premultiplied
// and put in the order blue, green, red, alpha.
enum class RowKind { kOpaque, kAlpha, kAlphaSwapped };

// The `values` bytes of `kRows` rows of an opaque source added into `sums`, or written there
// when `fresh`: all the rows in one pass, which runs at the speed of memory.
template <size_t kRows>
ORV_RESAMPLE_KERNEL void AddOpaqueRows(const uint8* const* rows, size_t values, bool fresh,
                                       uint32* __restrict sums) {
    const uint8* from[kRows];
    std::copy_n(rows, kRows, from);
    for (size_t i = 0; i < values; i++) {
        uint32 total = fresh ? 0 : sums[i];
        for (size_t r = 0; r < kRows; r++) {
            total += from[r][i];
        }
        sums[i] = total;
    }
}

// The `count` pixels of a row with alpha added into `sums`: each colour times the alpha,
// and the alpha times 255, in the order blue, green, red, alpha.
ORV_RESAMPLE_KERNEL void AddAlphaRow(const uint8* __restrict row, size_t count, bool swapped,
                                     uint32* __restrict sums) {
    for (size_t i = 0; i < count; i++) {
        const uint8* p = row + i * 4;
        const uint32 alpha = p[swapped ? 0 : 3];
        for (size_t c = 0; c < 3; c++) {
            sums[i * 4 + c] += uint32(p[swapped ? 3 - c : c]) * alpha;
        }
        sums[i * 4 + 3] += alpha * 255;
    }
}

// One pixel's four values, added and multiplied as one.
using Bytes4 = uint8 __attribute__((vector_size(4)));
using Sums4 = uint32 __attribute__((vector_size(16)));
using Values4 = float __attribute__((vector_size(16)));
using Values8 = float __attribute__((vector_size(32)));

// out pixel i = the sum of the `box` pixels from i * box on, times `scale`.
ORV_RESAMPLE_KERNEL void AddBoxes(const uint32* __restrict sums, size_t boxes, size_t box,
                                  float scale, float* __restrict out) {
    if (box == 1) {
        for (size_t i = 0; i < boxes * 4; i++) {
            out[i] = float(sums[i]) * scale;
        }
        return;
    }
    // Two boxes at a time, one in each half of eight values.
    using Sums8 = uint32 __attribute__((vector_size(32)));
    size_t i = 0;
    for (; i + 2 <= boxes; i += 2) {
        Sums8 total = {};
        for (size_t t = 0; t < box; t++) {
            Sums4 a, b;
            std::memcpy(&a, sums + (i * box + t) * 4, sizeof a);
            std::memcpy(&b, sums + ((i + 1) * box + t) * 4, sizeof b);
            total += __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7);
        }
        const Values8 values = __builtin_convertvector(total, Values8) * scale;
        std::memcpy(out + i * 4, &values, sizeof values);
    }
    for (; i < boxes; i++) {
        Sums4 total = {};
        for (size_t t = 0; t < box; t++) {
            Sums4 more;
            std::memcpy(&more, sums + (i * box + t) * 4, sizeof more);
            total += more;
        }
        const Values4 values = __builtin_convertvector(total, Values4) * scale;
        std::memcpy(out + i * 4, &values, sizeof values);
    }
}

// Two rows at once, each ring row being read once for both: out[o] = the sum of
// weights[o][k] * rows[k], over `count` values (a multiple of 4). The sums stay in
// registers, sixteen values at a time, so that four of them are under way together.
ORV_RESAMPLE_KERNEL void Blend(const float* const* rows, const float* const weights[2], size_t taps,
                               size_t count, float* const out[2]) {
    size_t x = 0;
    for (; x + 16 <= count; x += 16) {
        Values8 a0 = {}, a1 = {}, b0 = {}, b1 = {};
        for (size_t k = 0; k < taps; k++) {
            Values8 v0, v1;
            std::memcpy(&v0, rows[k] + x, sizeof v0);
            std::memcpy(&v1, rows[k] + x + 8, sizeof v1);
            const float wa = weights[0][k], wb = weights[1][k];
            a0 += v0 * wa;
            a1 += v1 * wa;
            b0 += v0 * wb;
            b1 += v1 * wb;
        }
        std::memcpy(out[0] + x, &a0, sizeof a0);
        std::memcpy(out[0] + x + 8, &a1, sizeof a1);
        std::memcpy(out[1] + x, &b0, sizeof b0);
        std::memcpy(out[1] + x + 8, &b1, sizeof b1);
    }
    for (; x < count; x += 4) {
        Values4 a = {}, b = {};
        for (size_t k = 0; k < taps; k++) {
            Values4 v;
            std::memcpy(&v, rows[k] + x, sizeof v);
            a += v * weights[0][k];
            b += v * weights[1][k];
        }
        std::memcpy(out[0] + x, &a, sizeof a);
        std::memcpy(out[1] + x, &b, sizeof b);
    }
}

// out pixel i = the sum over its taps of in pixel (first[i] + k) * its weight; `wide` holds
// each weight four times over, once per value, taps rounded up to an even number. Two
// pixels go together, so that their sums are under way at the same time.
ORV_RESAMPLE_KERNEL void Filter(const float* __restrict in, const int64* first,
                                const float* __restrict wide, size_t taps, size_t count,
                                float* __restrict out) {
    const size_t span = taps * 4;
    for (size_t i = 0; i < count; i += 2) {
        const size_t second = std::min(i + 1, count - 1);
        const float* a = in + size_t(first[i]) * 4;
        const float* b = in + size_t(first[second]) * 4;
        const float* wa = wide + i * span;
        const float* wb = wide + second * span;
        Values8 sumA = {}, sumB = {};
        for (size_t j = 0; j < span; j += 8) {
            Values8 va, vb, ka, kb;
            std::memcpy(&va, a + j, sizeof va);
            std::memcpy(&vb, b + j, sizeof vb);
            std::memcpy(&ka, wa + j, sizeof ka);
            std::memcpy(&kb, wb + j, sizeof kb);
            sumA += va * ka;
            sumB += vb * kb;
        }
        const Values4 pixelA = __builtin_shufflevector(sumA, sumA, 0, 1, 2, 3) +
                               __builtin_shufflevector(sumA, sumA, 4, 5, 6, 7);
        const Values4 pixelB = __builtin_shufflevector(sumB, sumB, 0, 1, 2, 3) +
                               __builtin_shufflevector(sumB, sumB, 4, 5, 6, 7);
        std::memcpy(out + second * 4, &pixelB, sizeof pixelB);
        std::memcpy(out + i * 4, &pixelA, sizeof pixelA);
    }
}

// A pixel's four values rounded to the nearest of 0 to 255 (the filter's values stay far
// inside the range of int32), as the word its bytes make in memory.
inline uint32 Levels(Values4 values) {
    using Ints4 = int32 __attribute__((vector_size(16)));
    const Ints4 zero = {}, top = {255, 255, 255, 255};
    Ints4 levels = __builtin_convertvector(values + 0.5f, Ints4);
    levels = levels < zero ? zero : levels;
    levels = levels > top ? top : levels;
    // Each level is the low byte of its int32.
    using Bytes16 = uint8 __attribute__((vector_size(16)));
    const Bytes16 all = reinterpret_cast<Bytes16>(levels);
    const Bytes4 bytes = __builtin_shufflevector(all, all, 0, 4, 8, 12);
    uint32 word;
    std::memcpy(&word, &bytes, sizeof word);
    return word;
}

// Filtered values back to straight pixels, written in the target's byte order. Opaque, the
// values are in the order the source stores its bytes (alpha first when `swappedIn`).
ORV_RESAMPLE_KERNEL void ToPixels(const float* __restrict in, size_t count, RowKind kind,
                                  bool swappedIn, bool swappedOut, uint32 fourth,
                                  uint8* __restrict out) {
    static_assert(std::endian::native == std::endian::little);
    for (size_t i = 0; i < count; i++) {
        Values4 values;
        std::memcpy(&values, in + i * 4, sizeof values);
        if (kind != RowKind::kOpaque) {
            // The colour is divided by the alpha before the alpha is cut to 255: where the
            // filter overshoots at an edge, the colour keeps its hue instead of brightening.
            const float alpha = values[3];
            const float scale = alpha >= 0.5f ? 255.0f / alpha : 0.0f;
            values *= Values4{scale, scale, scale, 1.0f};
        }
        uint32 word = Levels(values);  // 0xAARRGGBB, or byte-swapped as the source
        word = swappedIn ? __builtin_bswap32(word) : word;
        word |= fourth;
        word = swappedOut ? __builtin_bswap32(word) : word;
        std::memcpy(out + i * 4, &word, sizeof word);
    }
}

// The boxed rows of the source, restricted to the columns the outputs read.
class BoxedRows {
public:
    BoxedRows(const orv::ResampleSource& source, RowKind kind, const Axis& across, const Axis& down)
        : fSource(source),
          fKind(kind),
          fAcross(across),
          fDown(down),
          fFirstColumn(across.firstUsed * across.box),
          fColumns(std::min(source.width, (across.firstUsed + across.used) * across.box) -
                   fFirstColumn),
          fSums(size_t(std::max<int64>(1, 256 / across.box) * across.box) * 4) {}

    // Boxed row j (from the first used) into `out`, fAcross.used pixels. The columns go a
    // strip at a time, so that the sums of a strip stay in the processor's nearest cache.
    void Make(int64 j, float* out) {
        const int64 top = (fDown.firstUsed + j) * fDown.box;
        const int64 bottom = std::min(top + fDown.box, fSource.height);
        // With alpha, the sums are 255 times too large.
        const float unit = float(bottom - top) * (fKind == RowKind::kOpaque ? 1.0f : 255.0f);
        const int64 box = fAcross.box;
        const int64 strip = std::max<int64>(1, 256 / box);
        for (int64 first = 0; first < fAcross.used; first += strip) {
            const int64 boxes = std::min(strip, fAcross.used - first);
            const int64 begin = first * box;
            const int64 end = std::min(begin + boxes * box, fColumns);
            const auto row = [&](int64 at) {
                return fSource.bits + size_t(at) * fSource.bytesPerRow +
                       size_t(fFirstColumn + begin) * 4;
            };
            const size_t count = size_t(end - begin);
            if (fKind != RowKind::kOpaque) {
                std::fill_n(fSums.begin(), count * 4, 0u);
                for (int64 y = top; y < bottom; y++) {
                    AddAlphaRow(row(y), count, fKind == RowKind::kAlphaSwapped, fSums.data());
                }
            }
            for (int64 y = top; y < bottom && fKind == RowKind::kOpaque; y += 4) {
                const uint8* rows[4] = {row(y), row(std::min(y + 1, bottom - 1)),
                                        row(std::min(y + 2, bottom - 1)),
                                        row(std::min(y + 3, bottom - 1))};
                switch (std::min<int64>(4, bottom - y)) {
                    case 1:
                        AddOpaqueRows<1>(rows, count * 4, y == top, fSums.data());
                        break;
                    case 2:
                        AddOpaqueRows<2>(rows, count * 4, y == top, fSums.data());
                        break;
                    case 3:
                        AddOpaqueRows<3>(rows, count * 4, y == top, fSums.data());
                        break;
                    default:
                        AddOpaqueRows<4>(rows, count * 4, y == top, fSums.data());
                        break;
                }
            }
            const int64 whole = std::min(boxes, (end - begin) / box);
            AddBoxes(fSums.data(), size_t(whole), size_t(box), 1.0f / (unit * float(box)),
                     out + size_t(first) * 4);
            if (whole < boxes) {
                // The last box of the line, cut short by its end.
                const int64 rest = end - begin - whole * box;
                AddBoxes(&fSums[size_t(whole * box) * 4], 1, size_t(rest),
                         1.0f / (unit * float(rest)), out + size_t(first + whole) * 4);
            }
        }
    }

private:
    const orv::ResampleSource& fSource;
    RowKind fKind;
    const Axis& fAcross;
    const Axis& fDown;
    int64 fFirstColumn;
    int64 fColumns;
    std::vector<uint32> fSums;
};

}  // namespace

namespace orv {

status_t Resample(const ResampleSource& source, const ResampleArea& area,
                  const ResampleTarget& target) {
    try {
        const Axis across = PlanAxis(source.width, area.width, area.left, area.right);
        const Axis down = PlanAxis(source.height, area.height, area.top, area.bottom);
        const size_t width = size_t(area.right - area.left + 1);
        const size_t height = size_t(area.bottom - area.top + 1);

        // Each horizontal weight four times, taps rounded up to an even number (the filter
        // reads one pixel past the last tap, which the rows leave at zero).
        const size_t wideTaps = (across.taps + 1) / 2 * 2;
        std::vector<float> wide(width * wideTaps * 4, 0.0f);
        for (size_t i = 0; i < width; i++) {
            for (size_t k = 0; k < across.taps; k++) {
                std::fill_n(&wide[(i * wideTaps + k) * 4], 4, across.weights[i * across.taps + k]);
            }
        }

        // The horizontal filter, which gathers, costs more per tap than the vertical one:
        // it runs on whichever of the boxed rows or the output rows are fewer.
        const double gathers = 2.0 * double(width) * double(across.taps);
        const double verticalFirst =
            double(height) * (double(across.used) * double(down.taps) + gathers);
        const double horizontalFirst =
            double(down.used) * gathers + double(height) * double(width) * double(down.taps);
        const bool blendFirst = verticalFirst <= horizontalFirst;

        const RowKind kind = !source.alpha        ? RowKind::kOpaque
                             : source.byteSwapped ? RowKind::kAlphaSwapped
                                                  : RowKind::kAlpha;
        BoxedRows boxed(source, kind, across, down);
        const size_t boxedFloats = (size_t(across.used) + 1) * 4;
        // The ring's rows are an odd number of cache lines apart: rows a multiple of 4 KiB
        // apart would compete for the same few lines of the cache (a third of the speed).
        const size_t lines = ((blendFirst ? boxedFloats : width * 4) + 15) / 16;
        const size_t rowFloats = (lines | 1) * 16;

        // Output rows go by twos; the ring holds the boxed rows the two read.
        size_t span = down.taps;
        for (size_t y = 0; y + 1 < height; y += 2) {
            span = std::max(span, size_t(down.first[y + 1] - down.first[y]) + down.taps);
        }
        std::vector<float> ring(span * rowFloats, 0.0f);
        std::vector<int64> held(span, -1);
        std::vector<const float*> rows(span);
        std::vector<float> weights(span * 2);
        std::vector<float> scratch(boxedFloats, 0.0f);
        std::vector<float> blended(rowFloats * 2, 0.0f);
        std::vector<float> out(width * 4);
        const uint32 fourth = kind == RowKind::kOpaque || target.opaque ? 0xff000000u : 0u;

        for (size_t y = 0; y < height; y += 2) {
            const size_t pair[2] = {y, std::min(y + 1, height - 1)};
            const int64 first = down.first[pair[0]];
            const size_t count = size_t(down.first[pair[1]] - first) + down.taps;
            std::fill(weights.begin(), weights.end(), 0.0f);
            for (size_t o = 0; o < 2; o++) {
                const size_t offset = size_t(down.first[pair[o]] - first);
                std::copy_n(&down.weights[pair[o] * down.taps], down.taps,
                            &weights[o * span + offset]);
            }
            for (size_t k = 0; k < count; k++) {
                const int64 j = first + int64(k);
                const size_t slot = size_t(j) % span;
                float* row = &ring[slot * rowFloats];
                if (held[slot] != j) {
                    if (blendFirst) {
                        boxed.Make(j, row);
                    } else {
                        boxed.Make(j, scratch.data());
                        Filter(scratch.data(), across.first.data(), wide.data(), wideTaps, width,
                               row);
                    }
                    held[slot] = j;
                }
                rows[k] = row;
            }
            const float* const pairWeights[2] = {&weights[0], &weights[span]};
            float* const pairOut[2] = {&blended[0], &blended[rowFloats]};
            Blend(rows.data(), pairWeights, count, blendFirst ? size_t(across.used) * 4 : width * 4,
                  pairOut);
            for (size_t o = 0; o < 2 && (o == 0 || pair[1] != pair[0]); o++) {
                const float* values = pairOut[o];
                if (blendFirst) {
                    Filter(values, across.first.data(), wide.data(), wideTaps, width, out.data());
                    values = out.data();
                }
                ToPixels(values, width, kind, kind == RowKind::kOpaque && source.byteSwapped,
                         target.byteSwapped, fourth, target.bits + pair[o] * target.bytesPerRow);
            }
        }
    } catch (const std::bad_alloc&) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour redimensionner l'image");
    }
    return B_OK;
}

}  // namespace orv
