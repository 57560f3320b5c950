// SPDX-License-Identifier: MIT
// Compares resamplers for BView::DrawBitmap on quality and speed, so that the choice of
// one is a measured one.
//
//   orv_resample_bench BIG.jpg SMALL.jpg [--no-tools] [--only NAME]
//   orv_resample_bench - - --sweep
//
// Quality is the RMSE (0 to 1, premultiplied channels, the 3 pixels along each edge aside)
// against references computed here in double precision: Lanczos-3 with its support widened
// by the ratio when shrinking, and the exact area average. Cases: a zone plate 900 -> 225
// and 900 -> 317, BIG to 800 wide, SMALL to twice its size. Speed: BIG to 800 wide and
// SMALL to twice its size, processor time (all threads), best of 5. libvips and
// ImageMagick are run as programs (one thread), as anchors; their time is the command's
// minus that of a command reading the same input and writing a picture of the output's
// size. --sweep gives the zone plate's RMSE over many ratios, here and with libvips.
//
// Also checks what every resampler of ours must get right: a one-pixel checkerboard
// halved comes out a uniform grey, a transparent pixel's colour does not bleed into its
// neighbours, and an opaque picture, or the opaque middle of a translucent one, stays
// exactly opaque.
#include <QImage>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <pixman.h>
#include <stb/stb_image.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>
#ifdef HAVE_SWSCALE
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}
#endif
#ifdef HAVE_ZIMG
#include <zimg.h>
#endif

#include "platform/interface/Bitmap.h"
#include "platform/interface/BitmapDrawing.h"

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
    image.bytes.assign(size_t(w) * h * 4, alpha ? 0 : 255);
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
    }
    stbi_image_free(rgba);
    return image;
}

// cos(pi r^2 / size): the frequency grows from nothing at the centre to the Nyquist limit
// at the middle of each edge.
Image ZonePlate(int size) {
    Image image = MakeImage(size, size, false);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            const double dx = x + 0.5 - size / 2.0, dy = y + 0.5 - size / 2.0;
            const double v = 127.5 + 127.5 * std::cos(M_PI * (dx * dx + dy * dy) / size);
            std::memset(image.Row(y) + x * 4, int(std::lround(v)), 3);
        }
    }
    return image;
}

// ---- references, in double precision, premultiplied ----

std::vector<double> Premultiplied(const Image& image) {
    std::vector<double> out(size_t(image.width) * image.height * 4);
    for (size_t i = 0; i < out.size() / 4; i++) {
        const double a = image.hasAlpha ? image.bytes[i * 4 + 3] / 255.0 : 1.0;
        for (int c = 0; c < 3; c++) {
            out[i * 4 + c] = image.bytes[i * 4 + c] * a;
        }
        out[i * 4 + 3] = a * 255.0;
    }
    return out;
}

struct Tap {
    int index;
    double weight;
};
using AxisWeights = std::vector<std::vector<Tap>>;

// Output pixel i covers the source interval [i * s, (i + 1) * s).
AxisWeights AreaWeights(int from, int to) {
    AxisWeights all(to);
    const double scale = double(from) / to;
    for (int i = 0; i < to; i++) {
        const double x0 = i * scale, x1 = (i + 1) * scale;
        for (int s = int(std::floor(x0)); s < int(std::ceil(x1)); s++) {
            const double cover = std::min(x1, s + 1.0) - std::max(x0, double(s));
            if (cover > 0) {
                all[i].push_back({std::min(s, from - 1), cover / scale});
            }
        }
    }
    return all;
}

double Lanczos3(double x) {
    x = std::fabs(x);
    if (x < 1e-12) {
        return 1.0;
    }
    if (x >= 3.0) {
        return 0.0;
    }
    return 3.0 * std::sin(M_PI * x) * std::sin(M_PI * x / 3.0) / (M_PI * M_PI * x * x);
}

// Lanczos-3 around the centre of output pixel i, stretched by the ratio when shrinking;
// the edge pixels repeat outwards.
AxisWeights LanczosWeights(int from, int to) {
    AxisWeights all(to);
    const double scale = double(from) / to;
    const double stretch = std::max(scale, 1.0);
    for (int i = 0; i < to; i++) {
        const double centre = (i + 0.5) * scale;
        double sum = 0;
        for (int s = int(std::floor(centre - 3 * stretch));
             s <= int(std::ceil(centre + 3 * stretch)); s++) {
            const double w = Lanczos3((s + 0.5 - centre) / stretch);
            if (w != 0) {
                all[i].push_back({std::clamp(s, 0, from - 1), w});
                sum += w;
            }
        }
        for (Tap& t : all[i]) {
            t.weight /= sum;
        }
    }
    return all;
}

// The premultiplied result, unrounded, 0 to 255.
std::vector<double> Separable(const Image& source, const AxisWeights& wx, const AxisWeights& wy) {
    const std::vector<double> p = Premultiplied(source);
    const int w = int(wx.size()), h = int(wy.size());
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
    return out;
}

struct References {
    std::vector<double> lanczos;
    std::vector<double> area;  // empty for an enlargement
};

References MakeReferences(const Image& source, int w, int h) {
    References r;
    r.lanczos =
        Separable(source, LanczosWeights(source.width, w), LanczosWeights(source.height, h));
    if (w <= source.width && h <= source.height) {
        r.area = Separable(source, AreaWeights(source.width, w), AreaWeights(source.height, h));
    }
    return r;
}

// Root mean square of the differences on a 0 to 1 scale, premultiplied, so that the colour
// of a nearly transparent pixel, which nobody sees, weighs as little as it shows. The
// reference's values beyond 0..255 count as the nearest they could be stored. The 3 pixels
// along each edge do not count: they depend on how each resampler extends the picture
// beyond it, which is a convention, not quality.
double Rmse(const Image& candidate, const std::vector<double>& reference) {
    if (reference.empty()) {
        return NAN;
    }
    const std::vector<double> p = Premultiplied(candidate);
    double sum = 0;
    size_t n = 0;
    for (int y = 3; y < candidate.height - 3; y++) {
        for (int x = 3; x < candidate.width - 3; x++) {
            for (int c = 0; c < (candidate.hasAlpha ? 4 : 3); c++) {
                const size_t i = (size_t(y) * candidate.width + x) * 4 + c;
                const double d = p[i] - std::clamp(reference[i], 0.0, 255.0);
                sum += d * d;
                n++;
            }
        }
    }
    return std::sqrt(sum / n) / 255.0;
}

// ---- candidates ----

// While timing, the program's candidates (the Qt scaling it used and its own) stop where
// the program does, with the pixels in a new bitmap, and return nothing.
bool gTiming = false;

using Resampler = std::function<Image(const Image&, int, int)>;

// pixman's 32-bit formats are premultiplied: a straight-alpha source needs a premultiplied
// copy first and the result an unpremultiplication after.
Image PixmanResize(const Image& s, int w, int h, pixman_kernel_t reconstruct,
                   pixman_kernel_t sample, int subsampleBits) {
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
    const pixman_format_code_t format = s.hasAlpha ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8;
    pixman_image_t* in =
        pixman_image_create_bits(format, s.width, s.height, (uint32_t*)src, s.width * 4);
    Image d = MakeImage(w, h, s.hasAlpha);
    pixman_image_t* out = pixman_image_create_bits(format, w, h, (uint32_t*)d.bytes.data(), w * 4);
    pixman_transform_t t;
    const double sx = double(s.width) / w, sy = double(s.height) / h;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
    pixman_image_set_transform(in, &t);
    pixman_image_set_repeat(in, PIXMAN_REPEAT_PAD);
    int n = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &n, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy), reconstruct, reconstruct,
        sample, sample, subsampleBits, subsampleBits);
    pixman_image_set_filter(in, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    free(params);
    pixman_image_composite32(PIXMAN_OP_SRC, in, nullptr, out, 0, 0, 0, 0, 0, 0, w, h);
    pixman_image_unref(in);
    pixman_image_unref(out);
    for (size_t i = 0; i < d.bytes.size(); i += 4) {
        const uint8_t a = d.bytes[i + 3];
        if (!s.hasAlpha) {
            d.bytes[i + 3] = 255;
            continue;
        }
        for (int c = 0; c < 3; c++) {
            d.bytes[i + c] = a ? uint8_t(std::min(255, (d.bytes[i + c] * 255 + a / 2) / a)) : 0;
        }
    }
    return d;
}

// Qt's smooth scaling as the program used it: a picture with alpha goes through 16 bits
// per channel, premultiplied.
Image QtResize(const Image& s, int w, int h) {
    QImage in(s.bytes.data(), s.width, s.height, s.width * 4,
              s.hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (s.hasAlpha) {
        in = in.convertToFormat(QImage::Format_RGBA64_Premultiplied);
    }
    QImage scaled = in.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    scaled = std::move(scaled).convertToFormat(s.hasAlpha ? QImage::Format_ARGB32
                                                          : QImage::Format_RGB32);
    if (gTiming) {
        // What the program paid: the result copied into a new bitmap.
        BBitmap target(BRect(0, 0, float(w - 1), float(h - 1)), s.hasAlpha ? B_RGBA32 : B_RGB32);
        for (int y = 0; y < h; y++) {
            std::memcpy(static_cast<uint8_t*>(target.Bits()) + size_t(y) * target.BytesPerRow(),
                        scaled.constScanLine(y), size_t(w) * 4);
        }
        return {};
    }
    Image d = MakeImage(w, h, s.hasAlpha);
    for (int y = 0; y < h; y++) {
        std::memcpy(d.Row(y), scaled.constScanLine(y), size_t(w) * 4);
    }
    return d;
}

#ifdef HAVE_SWSCALE
// swscale has no premultiplied path: it scales straight alpha.
Image SwsResize(const Image& s, int w, int h, int flags) {
    const AVPixelFormat f = s.hasAlpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
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
    if (!s.hasAlpha) {
        for (size_t i = 3; i < d.bytes.size(); i += 4) {
            d.bytes[i] = 255;
        }
    }
    return d;
}
#endif

#ifdef HAVE_ZIMG
// zimg works on planes: the channels are split out and joined back, which is part of
// its cost here.
Image ZimgResize(const Image& s, int w, int h) {
    const int planes = s.hasAlpha ? 4 : 3;
    std::vector<std::vector<uint8_t>> in(4), out(4);
    for (int c = 0; c < planes; c++) {
        in[c].resize(size_t(s.width) * s.height);
        out[c].resize(size_t(w) * h);
        for (size_t i = 0; i < in[c].size(); i++) {
            in[c][i] = s.bytes[i * 4 + c];
        }
    }
    zimg_image_format src, dst;
    zimg_image_format_default(&src, ZIMG_API_VERSION);
    zimg_image_format_default(&dst, ZIMG_API_VERSION);
    src.width = unsigned(s.width);
    src.height = unsigned(s.height);
    dst.width = unsigned(w);
    dst.height = unsigned(h);
    for (zimg_image_format* f : {&src, &dst}) {
        f->pixel_type = ZIMG_PIXEL_BYTE;
        f->color_family = ZIMG_COLOR_RGB;
        f->matrix_coefficients = ZIMG_MATRIX_RGB;
        f->pixel_range = ZIMG_RANGE_FULL;
        f->alpha = s.hasAlpha ? ZIMG_ALPHA_STRAIGHT : ZIMG_ALPHA_NONE;
    }
    zimg_graph_builder_params params;
    zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
    params.resample_filter = ZIMG_RESIZE_LANCZOS;
    params.filter_param_a = 3;
    params.cpu_type = ZIMG_CPU_AUTO_64B;
    zimg_filter_graph* graph = zimg_filter_graph_build(&src, &dst, &params);
    size_t tmpSize = 0;
    zimg_filter_graph_get_tmp_size(graph, &tmpSize);
    void* tmp = std::aligned_alloc(64, (tmpSize + 63) / 64 * 64);
    zimg_image_buffer_const srcBuf{ZIMG_API_VERSION, {}};
    zimg_image_buffer dstBuf{ZIMG_API_VERSION, {}};
    // zimg's planes are green, blue, red for RGB; the order only has to match both ways.
    for (int c = 0; c < planes; c++) {
        srcBuf.plane[c] = {in[c].data(), ptrdiff_t(s.width), ZIMG_BUFFER_MAX};
        dstBuf.plane[c] = {out[c].data(), ptrdiff_t(w), ZIMG_BUFFER_MAX};
    }
    zimg_filter_graph_process(graph, &srcBuf, &dstBuf, tmp, nullptr, nullptr, nullptr, nullptr);
    std::free(tmp);
    zimg_filter_graph_free(graph);
    Image d = MakeImage(w, h, s.hasAlpha);
    for (int c = 0; c < planes; c++) {
        for (size_t i = 0; i < out[c].size(); i++) {
            d.bytes[i * 4 + c] = out[c][i];
        }
    }
    return d;
}
#endif

// Measures only the candidates whose name holds this.
std::string gOnly;
bool gSweep = false;

// Pictures that live as long as the program: their bitmaps are made once.
std::vector<const Image*> gLasting;

std::unique_ptr<BBitmap> ToBitmap(const Image& s) {
    auto bitmap = std::make_unique<BBitmap>(BRect(0, 0, float(s.width - 1), float(s.height - 1)),
                                            s.hasAlpha ? B_RGBA32 : B_RGB32);
    for (int y = 0; y < s.height; y++) {
        std::memcpy(static_cast<uint8_t*>(bitmap->Bits()) + size_t(y) * bitmap->BytesPerRow(),
                    s.Row(y), size_t(s.width) * 4);
    }
    return bitmap;
}

// The program's own, through the same call BView::DrawBitmap makes. A lasting picture is
// copied into a bitmap once, outside the time measured.
Image OrvaneResize(const Image& s, int w, int h) {
    static std::vector<std::pair<const Image*, std::unique_ptr<BBitmap>>> made;
    std::unique_ptr<BBitmap> passing;
    const BBitmap* found = nullptr;
    for (const auto& [image, bitmap] : made) {
        found = image == &s ? bitmap.get() : found;
    }
    if (found == nullptr) {
        passing = ToBitmap(s);
        found = passing.get();
        if (std::find(gLasting.begin(), gLasting.end(), &s) != gLasting.end()) {
            made.emplace_back(&s, std::move(passing));
        }
    }
    const BBitmap& source = *found;
    const color_space space = source.ColorSpace();
    const BRect bounds(0, 0, float(w - 1), float(h - 1));
    BBitmap target(bounds, space);
    if (orv::DrawBitmapScaled(source, target, bounds, bounds) != B_OK) {
        std::fprintf(stderr, "DrawBitmapScaled failed\n");
        std::exit(1);
    }
    if (gTiming) {
        return {};
    }
    Image d = MakeImage(w, h, s.hasAlpha);
    for (int y = 0; y < h; y++) {
        std::memcpy(d.Row(y),
                    static_cast<const uint8_t*>(target.Bits()) + size_t(y) * target.BytesPerRow(),
                    size_t(w) * 4);
    }
    return d;
}

struct Candidate {
    const char* name;
    Resampler resample;
};

std::vector<Candidate> Candidates() {
    return {
        {"Orvane (DrawBitmapScaled)", OrvaneResize},
        {"Qt smooth (the program before)", QtResize},
        {"pixman separable, Lanczos-3 / box",
         [](const Image& s, int w, int h) {
             return PixmanResize(s, w, h, PIXMAN_KERNEL_LANCZOS3, PIXMAN_KERNEL_BOX, 4);
         }},
        {"pixman separable, Lanczos-3 / impulse",
         [](const Image& s, int w, int h) {
             return PixmanResize(s, w, h, PIXMAN_KERNEL_LANCZOS3, PIXMAN_KERNEL_IMPULSE, 4);
         }},
#ifdef HAVE_SWSCALE
        {"swscale lanczos",
         [](const Image& s, int w, int h) { return SwsResize(s, w, h, SWS_LANCZOS); }},
        {"swscale area", [](const Image& s, int w, int h) { return SwsResize(s, w, h, SWS_AREA); }},
#endif
#ifdef HAVE_ZIMG
        {"zimg Lanczos-3", ZimgResize},
#endif
    };
}

// Processor time, all threads together: on a machine shared with other work it varies far
// less than the time on the clock, and a resampler that spreads over threads pays for all.
double ProcessorMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double ChildrenMilliseconds() {
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double Best(const std::function<void()>& work, int runs, double (*clock)()) {
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        const double start = clock();
        work();
        best = std::min(best, clock() - start);
    }
    return best;
}

double BestMilliseconds(const std::function<void()>& work, int runs) {
    gTiming = true;
    const double best = Best(work, runs, ProcessorMilliseconds);
    gTiming = false;
    return best;
}

// ---- libvips and ImageMagick, as programs ----

void WritePpm(const Image& image, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height);
    std::vector<uint8_t> row(size_t(image.width) * 3);
    for (int y = 0; y < image.height; y++) {
        for (int x = 0; x < image.width; x++) {
            for (int c = 0; c < 3; c++) {
                row[size_t(x) * 3 + c] = image.Row(y)[x * 4 + 2 - c];
            }
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
}

// The next number of a PPM header, comments skipped.
int HeaderNumber(FILE* f) {
    int c = std::fgetc(f);
    while (c == '#' || std::isspace(c)) {
        if (c == '#') {
            while (c != '\n' && c != EOF) {
                c = std::fgetc(f);
            }
        }
        c = std::fgetc(f);
    }
    int value = 0;
    for (; std::isdigit(c); c = std::fgetc(f)) {
        value = value * 10 + (c - '0');
    }
    return value;  // the one blank after the number is consumed
}

// A binary 8-bit PPM as written by libvips or ImageMagick.
Image ReadPpm(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr || std::fgetc(f) != 'P' || std::fgetc(f) != '6') {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        std::exit(1);
    }
    const int w = HeaderNumber(f), h = HeaderNumber(f);
    if (HeaderNumber(f) != 255) {
        std::fprintf(stderr, "not 8 bits: %s\n", path.c_str());
        std::exit(1);
    }
    Image image = MakeImage(w, h, false);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int y = 0; y < h; y++) {
        if (std::fread(row.data(), 1, row.size(), f) != row.size()) {
            std::fprintf(stderr, "short %s\n", path.c_str());
            std::exit(1);
        }
        for (int x = 0; x < w; x++) {
            for (int c = 0; c < 3; c++) {
                image.Row(y)[x * 4 + 2 - c] = row[size_t(x) * 3 + c];
            }
        }
    }
    std::fclose(f);
    return image;
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

struct Tool {
    const char* name;
    // Resizes IN to W x H into OUT; the extensions say the formats.
    std::function<std::string(const std::string&, const std::string&, int, int)> resize;
    // Reads IN and writes a W x H crop of it to OUT: the part of the cost that is not
    // resampling.
    std::function<std::string(const std::string&, const std::string&, int, int)> baseline;
    const char* input;  // extension of the input it reads fastest
};

std::vector<Tool> Tools() {
    return {
        {"libvips 8.14 (vips resize, default)",
         [](const std::string& in, const std::string& out, int w, int h) {
             return "VIPS_CONCURRENCY=1 vips thumbnail " + in + " " + out + " " +
                    std::to_string(w) + " --height " + std::to_string(h) + " --size force";
         },
         [](const std::string& in, const std::string& out, int w, int h) {
             return "VIPS_CONCURRENCY=1 vips embed " + in + " " + out + " 0 0 " +
                    std::to_string(w) + " " + std::to_string(h);
         },
         ".v"},
        {"ImageMagick 6 (-resize, default)",
         [](const std::string& in, const std::string& out, int w, int h) {
             return "/usr/bin/convert -limit thread 1 " + in + " -resize " + std::to_string(w) +
                    "x" + std::to_string(h) + "! " + out;
         },
         [](const std::string& in, const std::string& out, int w, int h) {
             return "/usr/bin/convert -limit thread 1 " + in + " -extent " + std::to_string(w) +
                    "x" + std::to_string(h) + " " + out;
         },
         ".ppm"},
    };
}

// ---- the checks ----

Image Checkerboard(int size) {
    Image image = MakeImage(size, size, false);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            std::memset(image.Row(y) + x * 4, (x + y) % 2 ? 255 : 0, 3);
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
            const bool clear = (x / 3) % 2 == 0;
            p[0] = 0;
            p[1] = clear ? 0 : 255;
            p[2] = clear ? 255 : 0;
            p[3] = clear ? 0 : 255;
        }
    }
    int worst = 0;
    for (int size : {23, 150}) {
        const Image out = resample(image, size, size);
        for (size_t i = 0; i < out.bytes.size(); i += 4) {
            if (out.bytes[i + 3] > 0) {
                worst = std::max<int>(worst, out.bytes[i + 2]);
            }
        }
    }
    return worst;
}

// Pixels that are not exactly white and opaque after scaling a white picture, opaque or
// with a transparent frame 8 pixels wide (whose neighbourhood does not count).
int Drift(const Resampler& resample) {
    int wrong = 0;
    for (bool frame : {false, true}) {
        Image image = MakeImage(97, 61, frame);
        for (int y = 0; y < image.height; y++) {
            for (int x = 0; x < image.width; x++) {
                const bool clear = frame && (x < 8 || y < 8 || x >= 89 || y >= 53);
                std::memset(image.Row(y) + x * 4, clear ? 0 : 255, 4);
            }
        }
        for (auto [w, h] : {std::pair{300, 200}, {40, 27}, {13, 9}, {97 * 2, 61}}) {
            const Image out = resample(image, w, h);
            const double sx = double(w) / 97, sy = double(h) / 61;
            const double margin = frame ? 8 + 3 * std::max(1.0, 1 / std::min(sx, sy)) : 0;
            for (int y = 0; y < h; y++) {
                for (int x = 0; x < w; x++) {
                    const double cx = (x + 0.5) / sx, cy = (y + 0.5) / sy;
                    if (cx < margin || cy < margin || cx > 97 - margin || cy > 61 - margin) {
                        continue;
                    }
                    uint32_t word;
                    std::memcpy(&word, out.Row(y) + x * 4, 4);
                    wrong += word != 0xffffffffu;
                }
            }
        }
    }
    return wrong;
}

// Zone plate RMSE against Lanczos-3 over a range of ratios, where the box pre-shrink of
// libvips and of ours changes.
void Sweep() {
    const Image zone = ZonePlate(900);
    const int sizes[] = {450, 400, 350, 300, 257, 225, 200, 180,
                         160, 150, 128, 112, 100, 90,  75,  64};
    std::printf("%-10s %8s %8s\n", "900 ->", "Orvane", "libvips");
    char folder[] = "/tmp/orv-sweep-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return;
    }
    const std::string dir = folder;
    WritePpm(zone, dir + "/zone.ppm");
    Run("vips copy " + dir + "/zone.ppm " + dir + "/zone.v");
    for (int size : sizes) {
        const std::vector<double> reference =
            Separable(zone, LanczosWeights(900, size), LanczosWeights(900, size));
        Run("vips thumbnail " + dir + "/zone.v " + dir + "/out.ppm " + std::to_string(size) +
            " --height " + std::to_string(size) + " --size force");
        std::printf("%-10d %8.4f %8.4f\n", size, Rmse(OrvaneResize(zone, size, size), reference),
                    Rmse(ReadPpm(dir + "/out.ppm"), reference));
    }
    Run("rm -r " + dir);
}

struct Case {
    const char* name;
    const Image* source;
    int width;
    int height;
    References references;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BIG.jpg SMALL.jpg [--no-tools]\n", argv[0]);
        return 2;
    }
    bool tools = true;
    for (int i = 3; i < argc; i++) {
        if (std::string(argv[i]) == "--no-tools") {
            tools = false;
        } else if (std::string(argv[i]) == "--sweep") {
            gSweep = true;
        } else if (std::string(argv[i]) == "--only" && i + 1 < argc) {
            gOnly = argv[++i];
        }
    }
    if (gSweep) {
        Sweep();
        return 0;
    }
    const Image big = Load(argv[1]);
    const Image small = Load(argv[2]);
    const Image zone = ZonePlate(900);
    const int downW = 800, downH = int(int64_t(big.height) * 800 / big.width);
    const int upW = small.width * 2, upH = small.height * 2;
    gLasting = {&big, &small, &zone};

    std::vector<Case> cases = {
        {"zone 900->225", &zone, 225, 225, {}},
        {"zone 900->317", &zone, 317, 317, {}},
        {"photo ->800", &big, downW, downH, {}},
        {"photo x2", &small, upW, upH, {}},
    };
    for (Case& c : cases) {
        c.references = MakeReferences(*c.source, c.width, c.height);
    }
    std::printf("photo: %dx%d -> %dx%d; enlarged: %dx%d -> %dx%d\n", big.width, big.height, downW,
                downH, small.width, small.height, upW, upH);
    std::printf(
        "RMSE against Lanczos-3 (L) and the area average (A); ms: processor time, best of 5\n");
    std::printf("%-40s", "");
    for (const Case& c : cases) {
        std::printf(" %15s", c.name);
    }
    std::printf(" %8s %8s %5s %5s %5s\n", "ms down", "ms up", "board", "bleed", "drift");
    const auto printQuality = [&](const char* name, const std::vector<Image>& results) {
        std::printf("%-40s", name);
        for (size_t i = 0; i < cases.size(); i++) {
            const double area = Rmse(results[i], cases[i].references.area);
            char cell[32];
            if (std::isnan(area)) {
                std::snprintf(cell, sizeof cell, "L %.4f",
                              Rmse(results[i], cases[i].references.lanczos));
            } else {
                std::snprintf(cell, sizeof cell, "L %.4f A %.4f",
                              Rmse(results[i], cases[i].references.lanczos), area);
            }
            std::printf(" %15s", cell);
        }
    };

    for (const Candidate& c : Candidates()) {
        if (!gOnly.empty() && std::string(c.name).find(gOnly) == std::string::npos) {
            continue;
        }
        std::vector<Image> results;
        for (const Case& k : cases) {
            results.push_back(c.resample(*k.source, k.width, k.height));
        }
        printQuality(c.name, results);
        const double downMs = BestMilliseconds([&] { c.resample(big, downW, downH); }, 5);
        const double upMs = BestMilliseconds([&] { c.resample(small, upW, upH); }, 5);
        std::printf(" %8.1f %8.1f %5d %5d %5d\n", downMs, upMs,
                    CheckerboardSpread(c.resample(Checkerboard(256), 128, 128)),
                    AlphaBleed(c.resample), Drift(c.resample));
        std::fflush(stdout);
    }
    if (!tools) {
        return 0;
    }

    char folder[] = "/tmp/orv-resample-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    const std::string dir = folder;
    for (size_t i = 0; i < cases.size(); i++) {
        WritePpm(*cases[i].source, dir + "/in" + std::to_string(i) + ".ppm");
        Run("vips copy " + dir + "/in" + std::to_string(i) + ".ppm " + dir + "/in" +
            std::to_string(i) + ".v");
    }
    const auto timed = [&](const std::string& command) {
        return Best([&] { Run(command); }, 5, ChildrenMilliseconds);
    };
    for (const Tool& t : Tools()) {
        std::vector<Image> results;
        for (size_t i = 0; i < cases.size(); i++) {
            const std::string in = dir + "/in" + std::to_string(i) + t.input;
            const std::string out = dir + "/out.ppm";
            Run(t.resize(in, out, cases[i].width, cases[i].height));
            results.push_back(ReadPpm(out));
        }
        printQuality(t.name, results);
        double ms[2];
        for (int i = 0; i < 2; i++) {
            const Case& k = cases[size_t(2 + i)];
            const std::string in = dir + "/in" + std::to_string(2 + i) + t.input;
            const std::string out = dir + "/out" + t.input;
            ms[i] = timed(t.resize(in, out, k.width, k.height)) -
                    timed(t.baseline(in, out, k.width, k.height));
        }
        std::printf(" %8.1f %8.1f\n", ms[0], ms[1]);
    }
    Run("rm -r " + dir);
    return 0;
}
