// SPDX-License-Identifier: MIT
#include "translators/pnm/PNMTranslator.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/storage/MimeType.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"

namespace orv {

namespace {

constexpr translation_format kInputs[] = {
    {kPPMFormat, B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/x-portable-pixmap", "Image PPM"},
    {kPGMFormat, B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/x-portable-graymap", "Image PGM"},
    {kPBMFormat, B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/x-portable-bitmap", "Image PBM"},
    {kPAMFormat, B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/x-portable-arbitrarymap", "Image PAM"},
};

constexpr translation_format kOutputs[] = {
    {kPPMFormat, B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/x-portable-pixmap", "Image PPM"},
    {kPAMFormat, B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/x-portable-arbitrarymap", "Image PAM"},
};

constexpr int32 kRawEncoding = 0;
constexpr int32 kPlainEncoding = 1;
constexpr SettingChoice kEncodings[] = {
    {kRawEncoding, "binaire (P6)"},
    {kPlainEncoding, "texte (P3)"},
};

constexpr SettingSchema kSettings[] = {
    FlattenAlphaSetting(true),
    {"ppm_encoding", SettingSchema::Kind::Choice, "Codage PPM", kRawEncoding, 0, 0, kEncodings},
};

constexpr TranslatorDescription kDescription = {
    "Images Netpbm",
    "PBM, PGM, PPM et PAM (Netpbm), lecture et écriture",
    100,
    "pnm",
    kInputs,
    kOutputs,
    kSettings,
};

constexpr uint32 kMaxVal = 65535;

// ---------------------------------------------------------------------------------------
// Reading

// Buffered bytes of a stream from a given offset; large reads go straight to their target.
class ByteSource {
public:
    explicit ByteSource(BPositionIO& io) : fIO(io), fBuffer(kBufferSize) {}

    int Peek() {
        if (fBegin == fEnd && !Fill()) {
            return -1;
        }
        return fBuffer[fBegin];
    }

    int Get() {
        const int c = Peek();
        if (c >= 0) {
            ++fBegin;
        }
        return c;
    }

    status_t Read(uint8* target, size_t size) {
        const size_t buffered = std::min(size, fEnd - fBegin);
        std::memcpy(target, fBuffer.data() + fBegin, buffered);
        fBegin += buffered;
        size -= buffered;
        target += buffered;
        while (size > 0) {
            const ssize_t got = fIO.ReadAt(fStreamOffset, target, size);
            if (got <= 0) {
                return Fail(got < 0 ? status_t(got) : B_BAD_DATA, "fichier PNM tronqué");
            }
            fStreamOffset += got;
            target += got;
            size -= size_t(got);
        }
        return B_OK;
    }

    // Offset in the stream of the next byte Get would return.
    off_t Offset() const { return fStreamOffset - off_t(fEnd - fBegin); }

private:
    static constexpr size_t kBufferSize = 64 * 1024;

    bool Fill() {
        const ssize_t got = fIO.ReadAt(fStreamOffset, fBuffer.data(), fBuffer.size());
        if (got <= 0) {
            return false;
        }
        fStreamOffset += got;
        fBegin = 0;
        fEnd = size_t(got);
        return true;
    }

    BPositionIO& fIO;
    std::vector<uint8> fBuffer;
    size_t fBegin = 0;
    size_t fEnd = 0;
    off_t fStreamOffset = 0;
};

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}

void SkipComment(ByteSource& in) {
    for (int c = in.Get(); c >= 0 && c != '\n' && c != '\r'; c = in.Get()) {
    }
}

void SkipSpaceAndComments(ByteSource& in) {
    for (int c = in.Peek(); IsSpace(c) || c == '#'; c = in.Peek()) {
        in.Get();
        if (c == '#') {
            SkipComment(in);
        }
    }
}

// A decimal number no larger than `limit`; false on anything else.
bool ReadNumber(ByteSource& in, uint32 limit, uint32* value) {
    if (!IsDigit(in.Peek())) {
        return false;
    }
    uint64 number = 0;
    while (IsDigit(in.Peek())) {
        number = number * 10 + uint32(in.Get() - '0');
        if (number > limit) {
            return false;
        }
    }
    *value = uint32(number);
    return true;
}

struct PnmHeader {
    int kind = 0;  // the digit after 'P'
    uint32 width = 0;
    uint32 height = 0;
    uint32 depth = 0;  // samples per pixel: 1 grey, 2 grey + alpha, 3 RGB, 4 RGB + alpha
    uint32 maxval = 0;
    const translation_format* format = nullptr;

    bool Plain() const { return kind >= 1 && kind <= 3; }
    bool Bitmap() const { return kind == 1 || kind == 4; }
    bool Alpha() const { return depth == 2 || depth == 4; }
};

const translation_format* InputFormat(uint32 type) {
    for (const translation_format& format : kInputs) {
        if (format.type == type) {
            return &format;
        }
    }
    return nullptr;
}

// Sides are read up to the largest the program accepts, so that an absurd number is
// refused while parsing; the true size check comes later, with its own reason.
constexpr uint32 kSideLimit = 1u << 30;

status_t ReadClassicHeader(ByteSource& in, PnmHeader* header) {
    const bool bitmap = header->Bitmap();
    SkipSpaceAndComments(in);
    if (!ReadNumber(in, kSideLimit, &header->width)) {
        return Fail(B_BAD_DATA, "en-tête PNM : largeur illisible");
    }
    SkipSpaceAndComments(in);
    if (!ReadNumber(in, kSideLimit, &header->height)) {
        return Fail(B_BAD_DATA, "en-tête PNM : hauteur illisible");
    }
    header->maxval = 1;
    if (!bitmap) {
        SkipSpaceAndComments(in);
        if (!ReadNumber(in, kMaxVal, &header->maxval)) {
            return Fail(B_BAD_DATA, "en-tête PNM : valeur maximale illisible");
        }
    }
    header->depth = (header->kind == 3 || header->kind == 6) ? 3 : 1;
    // Exactly one whitespace byte ends the header of every kind; the plain kinds would
    // skip it anyway, the raw ones start their samples right after it.
    if (!IsSpace(in.Get())) {
        return Fail(B_BAD_DATA, "en-tête PNM invalide");
    }
    header->format = InputFormat(bitmap               ? kPBMFormat
                                 : header->depth == 3 ? kPPMFormat
                                                      : kPGMFormat);
    return B_OK;
}

std::string ReadWord(ByteSource& in, size_t limit) {
    std::string word;
    while (word.size() <= limit && in.Peek() >= 0 && !IsSpace(in.Peek())) {
        word += char(in.Get());
    }
    return word;
}

void SkipBlanks(ByteSource& in) {
    while (in.Peek() == ' ' || in.Peek() == '\t') {
        in.Get();
    }
}

struct TupleType {
    const char* name;
    uint32 depth;
};

constexpr TupleType kTupleTypes[] = {
    {"BLACKANDWHITE", 1},       {"GRAYSCALE", 1},       {"RGB", 3},
    {"BLACKANDWHITE_ALPHA", 2}, {"GRAYSCALE_ALPHA", 2}, {"RGB_ALPHA", 4},
};

status_t ReadPamHeader(ByteSource& in, PnmHeader* header) {
    bool haveWidth = false, haveHeight = false, haveDepth = false, haveMaxval = false;
    std::string tupleType;
    for (;;) {
        SkipSpaceAndComments(in);
        const std::string keyword = ReadWord(in, 16);
        SkipBlanks(in);
        bool ok = true;
        if (keyword == "ENDHDR") {
            int c = in.Get();
            while (c == ' ' || c == '\t' || c == '\r') {
                c = in.Get();
            }
            if (c != '\n') {
                return Fail(B_BAD_DATA, "en-tête PAM invalide");
            }
            break;
        } else if (keyword == "WIDTH") {
            ok = ReadNumber(in, kSideLimit, &header->width);
            haveWidth = true;
        } else if (keyword == "HEIGHT") {
            ok = ReadNumber(in, kSideLimit, &header->height);
            haveHeight = true;
        } else if (keyword == "DEPTH") {
            ok = ReadNumber(in, 4, &header->depth);
            haveDepth = true;
        } else if (keyword == "MAXVAL") {
            ok = ReadNumber(in, kMaxVal, &header->maxval);
            haveMaxval = true;
        } else if (keyword == "TUPLTYPE") {
            tupleType = ReadWord(in, 32);
        } else {
            return Fail(B_BAD_DATA, "en-tête PAM : ligne inconnue");
        }
        if (!ok) {
            return Fail(B_BAD_DATA, "en-tête PAM : valeur illisible");
        }
    }
    if (!haveWidth || !haveHeight || !haveDepth || !haveMaxval || header->depth == 0) {
        return Fail(B_BAD_DATA, "en-tête PAM incomplet");
    }
    for (const TupleType& known : kTupleTypes) {
        if (tupleType == known.name && header->depth != known.depth) {
            return Fail(B_BAD_DATA, "en-tête PAM : TUPLTYPE et DEPTH ne concordent pas");
        }
    }
    header->format = InputFormat(kPAMFormat);
    return B_OK;
}

status_t ReadHeader(ByteSource& in, PnmHeader* header) {
    if (in.Get() != 'P') {
        return Fail(B_NO_TRANSLATOR, "ce n'est pas une image PNM");
    }
    const int digit = in.Get();
    if (digit < '1' || digit > '7') {
        return Fail(B_NO_TRANSLATOR, "ce n'est pas une image PNM");
    }
    header->kind = digit - '0';
    const status_t status =
        header->kind == 7 ? ReadPamHeader(in, header) : ReadClassicHeader(in, header);
    if (status != B_OK) {
        return status;
    }
    if (header->maxval == 0) {
        return Fail(B_BAD_DATA, "en-tête PNM : valeur maximale nulle");
    }
    return B_OK;
}

// Any maxval onto 0..255, rounded to nearest; values above maxval count as maxval.
std::vector<uint8> ScaleTable(uint32 maxval) {
    std::vector<uint8> table(maxval + 1);
    for (uint32 v = 0; v <= maxval; ++v) {
        table[v] = uint8((v * 255 + maxval / 2) / maxval);
    }
    return table;
}

// The fewest bytes the raster of `header` can take, to refuse a file too short for the
// size it declares before allocating its bitmap.
uint64 MinimumRasterBytes(const PnmHeader& h) {
    if (h.kind == 4) {
        return (uint64(h.width) + 7) / 8 * h.height;
    }
    // A plain sample takes at least one character; a raw one one or two bytes.
    const uint64 bytesPerSample = h.Plain() || h.maxval <= 255 ? 1 : 2;
    return uint64(h.width) * h.height * h.depth * bytesPerSample;
}

status_t DecodeRaster(ByteSource& in, const PnmHeader& h, BBitmap& image) {
    const uint32 width = h.width;
    const uint32 samplesPerRow = width * h.depth;  // fits: width ≤ 65535, depth ≤ 4
    auto* pixels = static_cast<uint8*>(image.Bits());
    const size_t rowBytes = size_t(image.BytesPerRow());
    std::vector<uint8> samples(samplesPerRow);

    if (h.kind == 4) {
        std::vector<uint8> packed((width + 7) / 8);
        for (uint32 y = 0; y < h.height; ++y) {
            if (status_t status = in.Read(packed.data(), packed.size()); status != B_OK) {
                return status;
            }
            for (uint32 x = 0; x < width; ++x) {
                samples[x] = (packed[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 255;
            }
            GrayToRow(samples.data(), pixels + y * rowBytes, width);
        }
        return B_OK;
    }

    const std::vector<uint8> scale = ScaleTable(h.maxval);
    const bool wide = h.maxval > 255;
    std::vector<uint8> raw(h.Plain() ? 0 : size_t(samplesPerRow) * (wide ? 2 : 1));
    for (uint32 y = 0; y < h.height; ++y) {
        if (h.kind == 1) {
            for (uint32 i = 0; i < samplesPerRow; ++i) {
                SkipSpaceAndComments(in);
                const int c = in.Get();
                if (c != '0' && c != '1') {
                    return Fail(B_BAD_DATA,
                                c < 0 ? "fichier PNM tronqué" : "données PBM invalides");
                }
                samples[i] = c == '1' ? 0 : 255;
            }
        } else if (h.Plain()) {
            for (uint32 i = 0; i < samplesPerRow; ++i) {
                SkipSpaceAndComments(in);
                uint32 value = 0;
                if (in.Peek() < 0) {
                    return Fail(B_BAD_DATA, "fichier PNM tronqué");
                }
                if (!ReadNumber(in, kMaxVal, &value)) {
                    return Fail(B_BAD_DATA, "données PNM invalides");
                }
                samples[i] = scale[std::min(value, h.maxval)];
            }
        } else {
            if (status_t status = in.Read(raw.data(), raw.size()); status != B_OK) {
                return status;
            }
            if (wide) {
                for (uint32 i = 0; i < samplesPerRow; ++i) {
                    const uint32 value = uint32(raw[2 * i]) << 8 | raw[2 * i + 1];
                    samples[i] = scale[std::min(value, h.maxval)];
                }
            } else if (h.maxval == 255) {
                SamplesToRow(raw.data(), h.depth, pixels + y * rowBytes, width);
                continue;
            } else {
                for (uint32 i = 0; i < samplesPerRow; ++i) {
                    samples[i] = scale[std::min<uint32>(raw[i], h.maxval)];
                }
            }
        }
        SamplesToRow(samples.data(), h.depth, pixels + y * rowBytes, width);
    }
    return B_OK;
}

// ---------------------------------------------------------------------------------------
// Writing

// Gathers output into large writes.
class ByteSink {
public:
    explicit ByteSink(BPositionIO& io) : fIO(io) { fBuffer.reserve(kChunk); }

    void Append(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8*>(data);
        fBuffer.insert(fBuffer.end(), bytes, bytes + size);
    }
    // Room for `size` more bytes, to be filled in place.
    uint8* Extend(size_t size) {
        fBuffer.resize(fBuffer.size() + size);
        return fBuffer.data() + fBuffer.size() - size;
    }
    void Append(const std::string& text) { Append(text.data(), text.size()); }

    // Writes what is gathered once it is large (or always, when `force`).
    status_t Drain(bool force = false) {
        if (fBuffer.empty() || (!force && fBuffer.size() < kChunk)) {
            return B_OK;
        }
        const status_t status = fIO.WriteExactly(fBuffer.data(), fBuffer.size());
        fBuffer.clear();
        return status;
    }

private:
    static constexpr size_t kChunk = 256 * 1024;
    BPositionIO& fIO;
    std::vector<uint8> fBuffer;
};

// Plain rows: decimal samples, lines kept under 70 characters as Netpbm asks.
void AppendPlainRow(ByteSink& sink, const uint8* samples, size_t count) {
    std::string line;
    for (size_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(samples[i]);
        if (!line.empty() && line.size() + 1 + number.size() > 69) {
            line += '\n';
            sink.Append(line);
            line.clear();
        }
        if (!line.empty()) {
            line += ' ';
        }
        line += number;
    }
    line += '\n';
    sink.Append(line);
}

}  // namespace

PNMTranslator::PNMTranslator() : ImageTranslator(kDescription) {
    // The shared MIME database has no PAM type: without this its files would get no
    // extension.
    BMimeType::RegisterExtensions(kOutputs[1].MIME, {"pam"});
}

status_t PNMTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    ByteSource in(source);
    PnmHeader header;
    if (ReadHeader(in, &header) != B_OK) {
        return B_NO_TRANSLATOR;
    }
    *format = header.format;
    return B_OK;
}

status_t PNMTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    image->reset();
    ByteSource in(source);
    PnmHeader header;
    if (status_t status = ReadHeader(in, &header); status != B_OK) {
        return status;
    }
    if (status_t status = CheckImageSize(header.width, header.height); status != B_OK) {
        return status;
    }
    off_t size = 0;
    if (source.GetSize(&size) == B_OK &&
        (size < in.Offset() || uint64(size - in.Offset()) < MinimumRasterBytes(header))) {
        return Fail(B_BAD_DATA, "fichier PNM tronqué");
    }
    std::unique_ptr<BBitmap> bitmap;
    if (status_t status = NewImage(header.width, header.height, header.Alpha(), &bitmap);
        status != B_OK) {
        return status;
    }
    if (status_t status = DecodeRaster(in, header, *bitmap); status != B_OK) {
        return status;
    }
    *image = std::move(bitmap);
    return B_OK;
}

status_t PNMTranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                      BPositionIO& destination) {
    if (status_t status = CheckEncodeRequest(image, outType, kOutputs, "PNM"); status != B_OK) {
        return status;
    }
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();
    const auto* pixels = static_cast<const uint8*>(image.Bits());
    const size_t rowBytes = size_t(image.BytesPerRow());
    const std::string size = std::to_string(width) + " " + std::to_string(height);

    bool alpha = false;
    bool flatten = false;
    bool plain = false;
    ByteSink sink(destination);
    if (outType == kPAMFormat) {
        alpha = HasTransparency(image);
        sink.Append("P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                    (alpha ? "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                           : "\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n"));
    } else {
        plain = Settings().Int32("ppm_encoding") == kPlainEncoding;
        // A B_RGB32 alpha byte does not belong to the colour: only B_RGBA32 is flattened.
        flatten = image.ColorSpace() == B_RGBA32 && Settings().Bool(kFlattenAlphaName);
        sink.Append((plain ? "P3\n" : "P6\n") + size + "\n255\n");
    }

    const size_t samplesPerRow = size_t(width) * (alpha ? 4 : 3);
    std::vector<uint8> plainRow(plain ? samplesPerRow : 0);
    for (uint32 y = 0; y < height; ++y) {
        const uint8* row = pixels + y * rowBytes;
        // Raw rows are converted straight into the output buffer.
        uint8* samples = plain ? plainRow.data() : sink.Extend(samplesPerRow);
        if (alpha) {
            RowToRGBA(row, samples, width);
        } else {
            RowToRGB(row, samples, width, flatten);
        }
        if (plain) {
            AppendPlainRow(sink, samples, samplesPerRow);
        }
        if (status_t status = sink.Drain(); status != B_OK) {
            return Fail(status, "écriture de l'image PNM impossible");
        }
    }
    if (status_t status = sink.Drain(true); status != B_OK) {
        return Fail(status, "écriture de l'image PNM impossible");
    }
    return B_OK;
}

}  // namespace orv
