// SPDX-License-Identifier: MIT
// orvane_deltae A.ppm B.ppm: the mean and the largest CIEDE2000 difference between two
// pictures of the same size, given as binary PPM (8 or 16 bits) in sRGB, through Little
// CMS. colour.sh turns each file into such a PPM through its own profile first, so the
// figure is what a colour-managed viewer shows.
#include <lcms2.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Picture {
    long width = 0;
    long height = 0;
    std::vector<uint16_t> rgb;  // 16 bits per sample, whatever the file held
};

// Skips blanks and comments, then reads one decimal number of the PPM header.
bool ReadNumber(const std::string& data, size_t* at, long* value) {
    while (*at < data.size()) {
        if (data[*at] == '#') {
            while (*at < data.size() && data[*at] != '\n') {
                ++*at;
            }
        } else if (data[*at] == ' ' || data[*at] == '\t' || data[*at] == '\n' ||
                   data[*at] == '\r') {
            ++*at;
        } else {
            break;
        }
    }
    long number = 0;
    bool any = false;
    while (*at < data.size() && data[*at] >= '0' && data[*at] <= '9' && number < 1000000) {
        number = number * 10 + (data[*at] - '0');
        ++*at;
        any = true;
    }
    *value = number;
    return any;
}

bool ReadPPM(const char* path, Picture* picture) {
    std::ifstream file(path, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (data.size() < 2 || data[0] != 'P' || data[1] != '6') {
        return false;
    }
    size_t at = 2;
    long maximum = 0;
    if (!ReadNumber(data, &at, &picture->width) || !ReadNumber(data, &at, &picture->height) ||
        !ReadNumber(data, &at, &maximum) || maximum < 1 || maximum > 65535) {
        return false;
    }
    ++at;  // the one blank after the header
    const size_t bytesPerSample = maximum > 255 ? 2 : 1;
    const size_t samples = size_t(picture->width) * size_t(picture->height) * 3;
    if (data.size() < at || (data.size() - at) / bytesPerSample < samples) {
        return false;
    }
    picture->rgb.resize(samples);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data() + at);
    for (size_t i = 0; i < samples; ++i) {
        const long value =
            bytesPerSample == 2 ? (long(bytes[2 * i]) << 8) | bytes[2 * i + 1] : long(bytes[i]);
        picture->rgb[i] = uint16_t((value * 65535 + maximum / 2) / maximum);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Picture a, b;
    if (argc != 3 || !ReadPPM(argv[1], &a) || !ReadPPM(argv[2], &b)) {
        std::fprintf(stderr, "usage: orvane_deltae A.ppm B.ppm (binary PPM, sRGB)\n");
        return 2;
    }
    if (a.width != b.width || a.height != b.height) {
        std::fprintf(stderr, "sizes differ: %ldx%ld and %ldx%ld\n", a.width, a.height, b.width,
                     b.height);
        return 2;
    }
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab =
        cmsCreateTransform(srgb, TYPE_RGB_16, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    const size_t pixels = size_t(a.width) * size_t(a.height);
    std::vector<cmsCIELab> labA(pixels), labB(pixels);
    cmsDoTransform(toLab, a.rgb.data(), labA.data(), cmsUInt32Number(pixels));
    cmsDoTransform(toLab, b.rgb.data(), labB.data(), cmsUInt32Number(pixels));
    double sum = 0, largest = 0;
    for (size_t i = 0; i < pixels; ++i) {
        const double difference = cmsCIE2000DeltaE(&labA[i], &labB[i], 1, 1, 1);
        sum += difference;
        largest = difference > largest ? difference : largest;
    }
    std::printf("%.2f %.2f\n", pixels > 0 ? sum / double(pixels) : 0.0, largest);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return 0;
}
