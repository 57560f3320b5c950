// SPDX-License-Identifier: MIT
#include "translators/jpeg/JPEGTranslator.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/ColorManagement.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"
#include "translators/jpeg/JpegIO.h"
#include "translators/jpeg/JpegMetadata.h"
#include "translators/jpeg/JpegReader.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("JPEG"), B_TRANSLATOR_BITMAP, 0.9f, 0.8f, "image/jpeg", "Image JPEG"},
};

enum Subsampling : int32 { k420 = 0, k422 = 1, k444 = 2 };

constexpr SettingChoice kSubsamplingChoices[] = {
    {k420, "4:2:0 (fichiers plus petits)"},
    {k422, "4:2:2"},
    {k444, "4:4:4 (couleurs les plus fines)"},
};

// Optimised Huffman tables cost libjpeg a second pass over the coefficients of the whole
// picture, held in memory for it. On the benchmark's 16 photographs turned half a turn,
// they made the files 2.9 % smaller (14.56 MB against 15.00 MB; ImageMagick's: 16.0 MB)
// for a batch 25 % longer (0.90-0.98 s against 0.71-0.76 s on two cores); in grey, 2.6 %
// for 20 %. Files stay smaller than the other tools' without them, so they are a choice.
constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité", 90, 1, 100},
    {"subsampling", SettingSchema::Kind::Choice, "Sous-échantillonnage des couleurs", k420, 0, 0,
     kSubsamplingChoices},
    {"optimize", SettingSchema::Kind::Bool, "Optimiser les tables de Huffman", 0},
    {"progressive", SettingSchema::Kind::Bool, "JPEG progressif", 0},
    FlattenAlphaSetting(true),
    kOrientationSetting,
};

#define ORV_STRING(x) #x
#define ORV_VERSION_TEXT(x) ORV_STRING(x)
#define kTurboVersion ORV_VERSION_TEXT(LIBJPEG_TURBO_VERSION)

using jpeg::JpegContext;

// jpeg_write_icc_profile splits a profile into at most 255 segments of 65519 bytes.
constexpr size_t kMaxProfileBytes = size_t(255) * 65519;

struct JpegEncoding {
    uint32 width;
    uint32 height;
    int quality;
    int32 subsampling;
    bool optimize;
    bool progressive;
    bool flatten;  // composite over white through a row of RGB
    bool grey;     // one channel: every pixel has red = green = blue
    double xDpi;
    double yDpi;
    const std::vector<uint8>* icc;  // written when not empty
    const std::vector<jpeg::Segment>* segments;
};

// A picture written as grey is handed to libjpeg this many rows at a time, each band checked
// just before: few enough rows that libjpeg reads them from the cache the check left them in.
// A separate pass over the whole bitmap first cost a grey batch a tenth of its time.
constexpr uint32 kGreyBandRows = 16;

// Sets *coloured and gives up when a picture written as grey has a coloured row.
bool WriteFile(jpeg_compress_struct* info, JpegContext* context, const JpegEncoding& encoding,
               JSAMPROW* rows, bool* coloured) {
    if (setjmp(context->jump)) {
        return false;
    }
    jpeg::AttachDestination(info, context);
    info->image_width = encoding.width;
    info->image_height = encoding.height;
    info->input_components = encoding.flatten ? 3 : 4;
    info->in_color_space = encoding.flatten ? JCS_RGB : JCS_EXT_BGRX;
    jpeg_set_defaults(info);
    if (encoding.grey) {
        // The luma of red = green = blue is that value exactly.
        jpeg_set_colorspace(info, JCS_GRAYSCALE);
    } else {
        info->comp_info[0].h_samp_factor = encoding.subsampling == k444 ? 1 : 2;
        info->comp_info[0].v_samp_factor = encoding.subsampling == k420 ? 2 : 1;
    }
    jpeg_set_quality(info, encoding.quality, TRUE);
    jpeg::SetDensity(encoding.xDpi, encoding.yDpi, info);
    info->optimize_coding = encoding.optimize ? TRUE : FALSE;
    info->dct_method = JDCT_ISLOW;
    if (encoding.progressive) {
        jpeg_simple_progression(info);
    }
    jpeg_start_compress(info, TRUE);
    for (const jpeg::Segment& segment : *encoding.segments) {
        jpeg_write_marker(info, segment.marker, segment.bytes.data(),
                          unsigned(segment.bytes.size()));
    }
    if (!encoding.icc->empty()) {
        jpeg_write_icc_profile(info, encoding.icc->data(), unsigned(encoding.icc->size()));
    }
    if (encoding.grey && !encoding.flatten) {
        while (info->next_scanline < info->image_height) {
            const uint32 first = info->next_scanline;
            const uint32 count = std::min(kGreyBandRows, info->image_height - first);
            for (uint32 y = first; y < first + count; y++) {
                if (!RowIsGrey(rows[y], encoding.width)) {
                    *coloured = true;
                    return false;
                }
            }
            jpeg_write_scanlines(info, rows + first, count);
        }
    } else if (!encoding.flatten) {
        while (info->next_scanline < info->image_height) {
            jpeg_write_scanlines(info, rows + info->next_scanline,
                                 info->image_height - info->next_scanline);
        }
    } else {
        JSAMPARRAY rgb = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info),
                                                    JPOOL_IMAGE, encoding.width * 3, 1);
        while (info->next_scanline < info->image_height) {
            RowToRGB(rows[info->next_scanline], rgb[0], encoding.width, true);
            jpeg_write_scanlines(info, rgb, 1);
        }
    }
    jpeg_finish_compress(info);
    return true;
}

class JpegCompressor {
public:
    explicit JpegCompressor(JpegContext* context) {
        info.err = &context->error;
        info.client_data = context;
        jpeg_create_compress(&info);
    }
    ~JpegCompressor() { jpeg_destroy_compress(&info); }
    JpegCompressor(const JpegCompressor&) = delete;
    JpegCompressor& operator=(const JpegCompressor&) = delete;

    jpeg_compress_struct info{};
};

}  // namespace

JPEGTranslator::JPEGTranslator()
    : ImageTranslator({"Images JPEG", "Images JPEG, par libjpeg-turbo " kTurboVersion, 100, "jpeg",
                       kFormats, kFormats, kSettings, WriterTraits{false, true, true}}) {}

status_t JPEGTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 start[3];
    if (source.ReadAt(0, start, sizeof(start)) != sizeof(start) || start[0] != 0xff ||
        start[1] != 0xd8 || start[2] != 0xff) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t JPEGTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    return OpenPictureReader<JpegReader>(reader, source, Settings().Bool(kOrientationSetting.name));
}

status_t JPEGTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    JpegReader reader(source, Settings().Bool(kOrientationSetting.name));
    status_t status = reader.Open();
    FrameTiming timing;
    if (status == B_OK) {
        status = reader.ReadFrame(&decoded->bitmap, &timing);
    }
    if (status != B_OK) {
        decoded->bitmap.reset();
        return status;
    }
    decoded->info = reader.Info();
    decoded->damage = reader.Damage();
    return B_OK;
}

status_t JPEGTranslator::EncodePicture(const BBitmap& image, const PictureInfo& info,
                                       uint32 outType, BPositionIO& destination) {
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "JPEG"); status != B_OK) {
        return status;
    }
    if (image.PixelWidth() > JPEG_MAX_DIMENSION || image.PixelHeight() > JPEG_MAX_DIMENSION) {
        return Fail(B_BAD_VALUE, "image trop grande pour le format JPEG (65500 pixels au plus)");
    }
    const PictureMetadata& metadata = info.metadata;
    const std::vector<uint8>& icc = metadata.color.icc;
    // A profile is written where it describes what is stored: a grey one for grey, any other
    // for colour (an RGB profile keeps grey pixels in colour, its grey not being sRGB's).
    const uint32 space = ProfileColorSpace(icc);
    const bool flatten = Settings().Bool(kFlattenAlphaName) && HasTransparency(image);
    static const std::vector<uint8> kNoProfile;
    const std::vector<jpeg::Segment> segments = jpeg::MetadataSegments(metadata);
    // libjpeg only reads the rows it is given.
    std::vector<JSAMPROW> rows(image.PixelHeight());
    auto* bits = static_cast<JSAMPLE*>(const_cast<void*>(image.Bits()));
    for (uint32 y = 0; y < image.PixelHeight(); y++) {
        rows[y] = bits + size_t(y) * size_t(image.BytesPerRow());
    }

    const auto encode = [&](bool grey, bool* coloured) -> status_t {
        const bool keepProfile =
            icc.size() <= kMaxProfileBytes &&
            (grey ? space == FourCC("GRAY") : space != FourCC("GRAY") && space != FourCC("CMYK"));
        const JpegEncoding encoding{image.PixelWidth(),
                                    image.PixelHeight(),
                                    int(Settings().Int32("quality")),
                                    Settings().Int32("subsampling"),
                                    Settings().Bool("optimize"),
                                    Settings().Bool("progressive"),
                                    flatten,
                                    grey,
                                    metadata.xDpi,
                                    metadata.yDpi,
                                    keepProfile ? &icc : &kNoProfile,
                                    &segments};
        JpegContext context;
        jpeg::InitContext(&context, &destination);
        JpegCompressor compressor(&context);
        if (!WriteFile(&compressor.info, &context, encoding, rows.data(), coloured)) {
            if (*coloured) {
                return B_OK;
            }
            if (context.trouble == jpeg::Trouble::IOFailed) {
                return Fail(B_IO_ERROR, "écriture du JPEG impossible");
            }
            return Fail(B_ERROR, std::string("encodage JPEG impossible (") + context.message + ")");
        }
        return B_OK;
    };

    // Grey pictures are stored as one channel. Most photographs show colour in their first
    // row and go straight to colour; a picture grey there is written as grey, each band of
    // rows checked as it goes, and written again in colour should a coloured row turn up.
    const off_t start = destination.Position();
    const bool greyProfile = icc.empty() || space == FourCC("GRAY");
    const bool tryGrey =
        greyProfile &&
        (flatten || start < 0 ? IsGrey(image) : RowIsGrey(rows[0], image.PixelWidth()));
    bool coloured = false;
    status_t status = encode(tryGrey, &coloured);
    if (status == B_OK && coloured) {
        if (destination.Seek(start, SEEK_SET) != start) {
            return Fail(B_IO_ERROR, "écriture du JPEG impossible");
        }
        status = encode(false, &coloured);
        // The grey attempt may have written further than the colour file reaches.
        off_t size = 0;
        const off_t end = destination.Position();
        if (status == B_OK && destination.GetSize(&size) == B_OK && size > end &&
            destination.SetSize(end) != B_OK) {
            return Fail(B_IO_ERROR, "écriture du JPEG impossible");
        }
    }
    return status;
}

}  // namespace orv
