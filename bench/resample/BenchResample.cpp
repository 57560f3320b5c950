// SPDX-License-Identifier: MIT
// Compares the resampling libraries Debian offers for BView::DrawBitmap, on speed and
// quality, so that the choice of one is a measured one.
//
//   resample_bench BIG.jpg SMALL.jpg
//
// Times a downscale of BIG to 800 pixels wide and an upscale of SMALL to twice its size
// (best of several runs, one thread), and scores quality against references computed here
// in double precision: the exact area average for downscales, a 2x round trip (area average
// down, candidate up, compared with the picture it started from) for upscales. Also checks the two
// things a resampler must not get wrong: a one-pixel checkerboard halved must come out a uniform
// grey, and a transparent pixel's colour must not bleed into its opaque neighbours.
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <pixman.h>
#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>
#ifdef HAVE_SWSCALE
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#endif

namespace {

// Pixels as the program stores them: blue, green, red, alpha in memory.
struct Image {
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    std::vector<uint8_t> bytes;
    uint8_t* Row(int y) { return bytes.data() + size_t(y) * width * 4; }
    const uint8_t* Row(int y) const { return bytes.data() + size_t(y) * width * 4; }
};

Image MakeImage(int w, int h, bool alpha) {
    Image image;
    image.width = w;
    image.height = h;
    image.hasAlpha = alpha;
    image.bytes.assign(size_t(w) * h * 4, 0);
    return image;
}

Image Load(const char* path) {
    int w = 0, h = 0, n = 0;
    uint8_t* rgba = stbi_load(path, &w, &h, &n, 4);
    if (rgba == nullptr) {
        std::fprintf(stderr, "cannot read %s\n", path);
        std::exit(1);
    }
    Image image = MakeImage(w, h, false);
    for (size_t i = 0; i < size_t(w) * h; i++) {
        image.bytes[i * 4 + 0] = rgba[i * 4 + 2];
        image.bytes[i * 4 + 1] = rgba[i * 4 + 1];
        image.bytes[i * 4 + 2] = rgba[i * 4 + 0];
        image.bytes[i * 4 + 3] = 255;
    }
    stbi_image_free(rgba);
    return image;
}

// ---- references, in double precision, premultiplied ----

std::vector<double> Premultiplied(const Image& image) {
    std::vector<double> out(size_t(image.width) * image.height * 4);
    for (size_t i = 0; i < out.size() / 4; i++) {
        double a = image.hasAlpha ? image.bytes[i * 4 + 3] / 255.0 : 1.0;
        for (int c = 0; c < 3; c++) {
            out[i * 4 + c] = image.bytes[i * 4 + c] * a;
        }
        out[i * 4 + 3] = a * 255.0;
    }
    return out;
}

Image FromPremultiplied(const std::vector<double>& p, int w, int h, bool alpha) {
    Image image = MakeImage(w, h, alpha);
    for (size_t i = 0; i < size_t(w) * h; i++) {
        double a = p[i * 4 + 3];
        for (int c = 0; c < 3; c++) {
            double v = a > 0 ? p[i * 4 + c] * 255.0 / a : 0;
            image.bytes[i * 4 + c] = uint8_t(std::clamp(std::lround(v), 0L, 255L));
        }
        image.bytes[i * 4 + 3] = uint8_t(std::clamp(std::lround(a), 0L, 255L));
    }
    return image;
}

// Weights of the exact area average along one axis: output pixel i covers the source
// interval [i * s, (i + 1) * s).
struct Tap {
    int index;
    double weight;
};
std::vector<std::vector<Tap>> AreaWeights(int from, int to) {
    std::vector<std::vector<Tap>> all(to);
    double scale = double(from) / to;
    for (int i = 0; i < to; i++) {
        double x0 = i * scale, x1 = (i + 1) * scale;
        for (int s = int(std::floor(x0)); s < int(std::ceil(x1)); s++) {
            double cover = std::min(x1, s + 1.0) - std::max(x0, double(s));
            if (cover > 0) {
                all[i].push_back({std::min(s, from - 1), cover / scale});
            }
        }
    }
    return all;
}

Image AreaReference(const Image& source, int w, int h) {
    std::vector<double> p = Premultiplied(source);
    auto wx = AreaWeights(source.width, w);
    auto wy = AreaWeights(source.height, h);
    std::vector<double> rows(size_t(w) * source.height * 4, 0.0);
    for (int y = 0; y < source.height; y++) {
        for (int x = 0; x < w; x++) {
            for (const Tap& t : wx[x]) {
                for (int c = 0; c < 4; c++) {
                    rows[(size_t(y) * w + x) * 4 + c] +=
                        t.weight * p[(size_t(y) * source.width + t.index) * 4 + c];
                }
            }
        }
    }
    std::vector<double> out(size_t(w) * h * 4, 0.0);
    for (int y = 0; y < h; y++) {
        for (const Tap& t : wy[y]) {
            for (int x = 0; x < w; x++) {
                for (int c = 0; c < 4; c++) {
                    out[(size_t(y) * w + x) * 4 + c] +=
                        t.weight * rows[(size_t(t.index) * w + x) * 4 + c];
                }
            }
        }
    }
    return FromPremultiplied(out, w, h, source.hasAlpha);
}

// Compared premultiplied, so that the colour of a nearly transparent pixel, which nobody
// sees, weighs as little as it shows.
double Psnr(const Image& a, const Image& b) {
    std::vector<double> pa = Premultiplied(a), pb = Premultiplied(b);
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < pa.size(); i++) {
        if (i % 4 == 3 && !a.hasAlpha) {
            continue;
        }
        double d = pa[i] - pb[i];
        sum += d * d;
        n++;
    }
    if (sum == 0) {
        return 99.0;
    }
    return 10 * std::log10(255.0 * 255.0 / (sum / n));
}

// ---- candidates ----

using Resampler = std::function<Image(const Image&, int, int)>;

Image StbResize(const Image& s, int w, int h, stbir_filter filter) {
    Image d = MakeImage(w, h, s.hasAlpha);
    stbir_resize_uint8_generic(s.bytes.data(), s.width, s.height, s.width * 4, d.bytes.data(), w, h,
                               w * 4, 4, s.hasAlpha ? 3 : STBIR_ALPHA_CHANNEL_NONE, 0,
                               STBIR_EDGE_CLAMP, filter, STBIR_COLORSPACE_LINEAR, nullptr);
    return d;
}

// pixman's 32-bit formats are premultiplied: a straight-alpha source needs a premultiplied
// copy first and the result an unpremultiplication after.
Image PixmanResize(const Image& s, int w, int h, bool convolution, pixman_kernel_t sample) {
    std::vector<uint8_t> pre;
    const uint8_t* src = s.bytes.data();
    if (s.hasAlpha) {
        pre = s.bytes;
        for (size_t i = 0; i < pre.size(); i += 4) {
            for (int c = 0; c < 3; c++) {
                pre[i + c] = uint8_t((pre[i + c] * pre[i + 3] + 127) / 255);
            }
        }
        src = pre.data();
    }
    pixman_format_code_t format = s.hasAlpha ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8;
    pixman_image_t* in =
        pixman_image_create_bits(format, s.width, s.height, (uint32_t*)src, s.width * 4);
    Image d = MakeImage(w, h, s.hasAlpha);
    pixman_image_t* out = pixman_image_create_bits(format, w, h, (uint32_t*)d.bytes.data(), w * 4);
    pixman_transform_t t;
    double sx = double(s.width) / w, sy = double(s.height) / h;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
    pixman_image_set_transform(in, &t);
    pixman_image_set_repeat(in, PIXMAN_REPEAT_PAD);
    if (convolution) {
        int n = 0;
        pixman_fixed_t* params = pixman_filter_create_separable_convolution(
            &n, pixman_double_to_fixed(std::max(1.0, sx)),
            pixman_double_to_fixed(std::max(1.0, sy)), PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, sample,
            sample, 4, 4);
        pixman_image_set_filter(in, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
        free(params);
    } else {
        pixman_image_set_filter(in, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    }
    pixman_image_composite32(PIXMAN_OP_SRC, in, nullptr, out, 0, 0, 0, 0, 0, 0, w, h);
    pixman_image_unref(in);
    pixman_image_unref(out);
    if (s.hasAlpha) {
        for (size_t i = 0; i < d.bytes.size(); i += 4) {
            uint8_t a = d.bytes[i + 3];
            for (int c = 0; c < 3; c++) {
                d.bytes[i + c] = a ? uint8_t(std::min(255, (d.bytes[i + c] * 255 + a / 2) / a)) : 0;
            }
        }
    }
    return d;
}

// `deep`: a picture with alpha goes through 16 bits per channel, premultiplied.
Image QtResize(const Image& s, int w, int h, bool deep) {
    QImage in(s.bytes.data(), s.width, s.height, s.width * 4,
              s.hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (deep && s.hasAlpha) {
        in = in.convertToFormat(QImage::Format_RGBA64_Premultiplied);
    }
    QImage scaled = in.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (s.hasAlpha) {
        scaled = std::move(scaled).convertToFormat(QImage::Format_ARGB32);
    }
    Image d = MakeImage(w, h, s.hasAlpha);
    for (int y = 0; y < h; y++) {
        std::memcpy(d.Row(y), scaled.constScanLine(y), size_t(w) * 4);
    }
    return d;
}

#ifdef HAVE_SWSCALE
Image SwsResize(const Image& s, int w, int h, int flags) {
    AVPixelFormat f = s.hasAlpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
    SwsContext* ctx =
        sws_getContext(s.width, s.height, f, w, h, f, flags | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                       nullptr, nullptr, nullptr);
    Image d = MakeImage(w, h, s.hasAlpha);
    const uint8_t* srcSlice[4] = {s.bytes.data(), nullptr, nullptr, nullptr};
    int srcStride[4] = {s.width * 4, 0, 0, 0};
    uint8_t* dst[4] = {d.bytes.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {w * 4, 0, 0, 0};
    sws_scale(ctx, srcSlice, srcStride, 0, s.height, dst, dstStride);
    sws_freeContext(ctx);
    return d;
}
#endif

struct Candidate {
    const char* name;
    Resampler resample;
};

std::vector<Candidate> Candidates() {
    std::vector<Candidate> all = {
        {"stb default (Mitchell down, Catmull-Rom up)",
         [](const Image& s, int w, int h) { return StbResize(s, w, h, STBIR_FILTER_DEFAULT); }},
        {"stb triangle",
         [](const Image& s, int w, int h) { return StbResize(s, w, h, STBIR_FILTER_TRIANGLE); }},
        {"stb box",
         [](const Image& s, int w, int h) { return StbResize(s, w, h, STBIR_FILTER_BOX); }},
        {"pixman bilinear", [](const Image& s, int w,
                               int h) { return PixmanResize(s, w, h, false, PIXMAN_KERNEL_BOX); }},
        {"pixman convolution box/box",
         [](const Image& s, int w, int h) {
             return PixmanResize(s, w, h, true, PIXMAN_KERNEL_BOX);
         }},
        {"pixman convolution box/lanczos2",
         [](const Image& s, int w, int h) {
             return PixmanResize(s, w, h, true, PIXMAN_KERNEL_LANCZOS2);
         }},
        {"Qt smooth", [](const Image& s, int w, int h) { return QtResize(s, w, h, false); }},
        {"Qt smooth, alpha in 16 bits",
         [](const Image& s, int w, int h) { return QtResize(s, w, h, true); }},
#ifdef HAVE_SWSCALE
        {"swscale area", [](const Image& s, int w, int h) { return SwsResize(s, w, h, SWS_AREA); }},
        {"swscale bicubic",
         [](const Image& s, int w, int h) { return SwsResize(s, w, h, SWS_BICUBIC); }},
        {"swscale lanczos",
         [](const Image& s, int w, int h) { return SwsResize(s, w, h, SWS_LANCZOS); }},
#endif
    };
    return all;
}

double BestMilliseconds(const std::function<void()>& work, int runs) {
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        auto start = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        best = std::min(best, spent.count());
    }
    return best;
}

Image Checkerboard(int size) {
    Image image = MakeImage(size, size, false);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            uint8_t v = (x + y) % 2 ? 255 : 0;
            std::memset(image.Row(y) + x * 4, v, 3);
            image.Row(y)[x * 4 + 3] = 255;
        }
    }
    return image;
}

// Spread of the grey levels inside the halved checkerboard (its border rows aside).
int CheckerboardSpread(const Image& halved) {
    int low = 255, high = 0;
    for (int y = 2; y < halved.height - 2; y++) {
        for (int x = 2; x < halved.width - 2; x++) {
            for (int c = 0; c < 3; c++) {
                low = std::min<int>(low, halved.Row(y)[x * 4 + c]);
                high = std::max<int>(high, halved.Row(y)[x * 4 + c]);
            }
        }
    }
    return high - low;
}

// Transparent red stripes between opaque green ones: after scaling no visible pixel may
// show any red.
int AlphaBleed(const Resampler& resample) {
    Image image = MakeImage(64, 64, true);
    for (int y = 0; y < 64; y++) {
        for (int x = 0; x < 64; x++) {
            uint8_t* p = image.Row(y) + x * 4;
            bool clear = (x / 3) % 2 == 0;
            p[0] = 0;
            p[1] = clear ? 0 : 255;
            p[2] = clear ? 255 : 0;
            p[3] = clear ? 0 : 255;
        }
    }
    int worst = 0;
    for (int size : {23, 150}) {
        Image out = resample(image, size, size);
        for (size_t i = 0; i < out.bytes.size(); i += 4) {
            if (out.bytes[i + 3] > 0) {
                worst = std::max<int>(worst, out.bytes[i + 2]);
            }
        }
    }
    return worst;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BIG.jpg SMALL.jpg\n", argv[0]);
        return 2;
    }
    Image big = Load(argv[1]);
    Image small = Load(argv[2]);
    int downW = 800, downH = int(int64_t(big.height) * 800 / big.width);
    int upW = small.width * 2, upH = small.height * 2;
    std::printf("down: %dx%d -> %dx%d, up: %dx%d -> %dx%d\n", big.width, big.height, downW, downH,
                small.width, small.height, upW, upH);

    Image downRef = AreaReference(big, downW, downH);
    Image halfSmall = AreaReference(small, small.width / 2, small.height / 2);
    Image board = Checkerboard(256);

    std::printf("%-44s %9s %9s %9s %9s %7s %6s\n", "candidate", "down ms", "up ms", "down dB",
                "up dB", "board", "bleed");
    for (const Candidate& c : Candidates()) {
        Image down, up;
        double downMs = BestMilliseconds([&] { down = c.resample(big, downW, downH); }, 3);
        double upMs = BestMilliseconds([&] { up = c.resample(small, upW, upH); }, 3);
        Image roundTrip = c.resample(halfSmall, small.width, small.height);
        std::printf("%-44s %9.1f %9.1f %9.2f %9.2f %7d %6d\n", c.name, downMs, upMs,
                    Psnr(down, downRef), Psnr(roundTrip, small),
                    CheckerboardSpread(c.resample(board, 128, 128)), AlphaBleed(c.resample));
    }

    // The same photograph with an alpha ramp, for the cost of premultiplying.
    Image translucent = big;
    translucent.hasAlpha = true;
    for (int y = 0; y < translucent.height; y++) {
        for (int x = 0; x < translucent.width; x++) {
            translucent.Row(y)[x * 4 + 3] = uint8_t(x * 255 / (translucent.width - 1));
        }
    }
    Image alphaRef = AreaReference(translucent, downW, downH);
    std::printf("\nwith alpha:\n%-44s %9s %9s\n", "candidate", "down ms", "down dB");
    for (const Candidate& c : Candidates()) {
        Image down;
        double ms = BestMilliseconds([&] { down = c.resample(translucent, downW, downH); }, 3);
        std::printf("%-44s %9.1f %9.2f\n", c.name, ms, Psnr(down, alphaRef));
    }
    return 0;
}
