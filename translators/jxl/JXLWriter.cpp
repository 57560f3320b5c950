// SPDX-License-Identifier: MIT
#include "translators/jxl/JXLWriter.h"

#include <jxl/encode.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/ColorManagement.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/ExifPayload.h"
#include "translators/jxl/JXLRunner.h"

namespace orv {

namespace {

constexpr size_t kOutputChunk = size_t(1) << 16;

// Animations count time in milliseconds, as every animation we read states its delays.
constexpr uint32_t kTicksPerSecond = 1000;

using EncoderPtr = std::unique_ptr<JxlEncoder, FreeWith<JxlEncoderDestroy>>;

// CICP code points that JPEG XL names itself (its names take the H.273 numbers), so that
// they are stored as they are; PQ and HLG pictures have no other faithful description
// here, since no ICC profile we make can tell those curves. Unstated primaries or transfer
// are sRGB's, as players take them.
bool NamedEncoding(const ColorDescription& color, JxlColorEncoding* encoding) {
    if (!color.icc.empty() || !color.HasCicp()) {
        return false;
    }
    JxlColorEncodingSetToSRGB(encoding, JXL_FALSE);
    switch (color.primaries) {
        case 0:
        case 1:
        case 2:
            break;
        case 9:
            encoding->primaries = JXL_PRIMARIES_2100;
            break;
        case 11:  // DCI-P3, with the cinema's white
            encoding->primaries = JXL_PRIMARIES_P3;
            encoding->white_point = JXL_WHITE_POINT_DCI;
            break;
        case 12:  // Display P3
            encoding->primaries = JXL_PRIMARIES_P3;
            break;
        default:
            return false;
    }
    switch (color.transfer) {
        case 0:
        case 2:
        case 13:
            break;
        case 1:
        case 6:
        case 14:
        case 15:
            encoding->transfer_function = JXL_TRANSFER_FUNCTION_709;
            break;
        case 8:
        case 16:
        case 17:
        case 18:
            encoding->transfer_function = JxlTransferFunction(color.transfer);
            break;
        default:
            return false;
    }
    return true;
}

status_t FailEncode(JxlEncoder* encoder, const char* what) {
    return Fail(B_ERROR, std::string(what) + " (erreur libjxl " +
                             std::to_string(int(JxlEncoderGetError(encoder))) + ")");
}

class JXLWriter final : public PictureWriter {
public:
    JXLWriter(BPositionIO& destination, const JXLEncoding& encoding)
        : fDestination(destination), fEncoding(encoding) {}

    status_t Begin(const PictureInfo& info) override;
    status_t WriteFrame(const BBitmap& frame, const FrameTiming& timing) override;
    status_t Finish() override;

private:
    status_t Start(const BBitmap& first);
    status_t Configure();
    status_t AddMetadata();
    status_t AddPending();
    status_t WriteOutput();

    BPositionIO& fDestination;
    JXLEncoding fEncoding;
    PictureInfo fInfo;
    JxlRunnerPtr fRunner;
    EncoderPtr fEncoder;
    JxlEncoderFrameSettings* fSettings = nullptr;  // owned by the encoder
    bool fAlpha = false;
    // The frame waiting to be encoded: libjxl must know the last frame as last when it
    // encodes it, so each frame goes in when the next one comes, or at Finish.
    std::vector<uint8> fPending;
    uint32 fPendingDelay = 0;
    uint32 fFrames = 0;
};

status_t JXLWriter::Begin(const PictureInfo& info) {
    fInfo = info;
    return B_OK;
}

// The header, colours and settings of the file, from its description and first frame.
status_t JXLWriter::Configure() {
    JxlEncoder* encoder = fEncoder.get();
    const PictureMetadata& metadata = fInfo.metadata;
    const bool animation = fInfo.frameCount > 1;
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = fInfo.width;
    info.ysize = fInfo.height;
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.alpha_bits = fAlpha ? 8 : 0;
    info.num_extra_channels = fAlpha ? 1 : 0;
    // Lossless keeps the RGB samples as they are; lossy works in libjxl's own space.
    info.uses_original_profile = fEncoding.lossless ? JXL_TRUE : JXL_FALSE;
    // The file shows as the picture it was given would: an EXIF orientation still to be
    // applied becomes the codestream's, which JPEG XL viewers follow instead of the EXIF.
    info.orientation = JxlOrientation(ExifOrientation(metadata.exif.data(), metadata.exif.size()));
    if (animation) {
        info.have_animation = JXL_TRUE;
        info.animation.tps_numerator = kTicksPerSecond;
        info.animation.tps_denominator = 1;
        info.animation.num_loops = uint32_t(std::max(fInfo.loopCount, 0));
    }
    if (JxlEncoderSetBasicInfo(encoder, &info) != JXL_ENC_SUCCESS) {
        return FailEncode(encoder, "en-tête JPEG XL refusé");
    }
    // CICP code points by name, or the picture's own profile, or one made from what else
    // describes its colours; sRGB when nothing does.
    JxlColorEncoding named;
    const bool haveName = NamedEncoding(metadata.color, &named);
    const std::vector<uint8> profile =
        haveName ? std::vector<uint8>() : ProfileBytes(metadata.color);
    if (profile.empty()) {
        if (!haveName) {
            JxlColorEncodingSetToSRGB(&named, JXL_FALSE);
        }
        if (JxlEncoderSetColorEncoding(encoder, &named) != JXL_ENC_SUCCESS) {
            return FailEncode(encoder, "espace de couleurs refusé par l'encodeur JPEG XL");
        }
    } else if (JxlEncoderSetICCProfile(encoder, profile.data(), profile.size()) !=
               JXL_ENC_SUCCESS) {
        return FailEncode(encoder, "profil de couleurs refusé par l'encodeur JPEG XL");
    }
    fSettings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    if (fSettings == nullptr ||
        JxlEncoderFrameSettingsSetOption(fSettings, JXL_ENC_FRAME_SETTING_EFFORT,
                                         fEncoding.effort) != JXL_ENC_SUCCESS ||
        (fEncoding.lossless
             ? JxlEncoderSetFrameLossless(fSettings, JXL_TRUE)
             : JxlEncoderSetFrameDistance(fSettings, fEncoding.distance)) != JXL_ENC_SUCCESS) {
        return FailEncode(encoder, "réglages de l'encodeur JPEG XL refusés");
    }
    return B_OK;
}

// EXIF and XMP go in their boxes, before the codestream.
status_t JXLWriter::AddMetadata() {
    JxlEncoder* encoder = fEncoder.get();
    const PictureMetadata& metadata = fInfo.metadata;
    if (metadata.exif.empty() && metadata.xmp.empty()) {
        return B_OK;
    }
    if (JxlEncoderUseBoxes(encoder) != JXL_ENC_SUCCESS) {
        return FailEncode(encoder, "boîtes de métadonnées JPEG XL refusées");
    }
    if (!metadata.exif.empty()) {
        const std::vector<uint8> payload = ExifPayload(metadata.exif);
        if (JxlEncoderAddBox(encoder, "Exif", payload.data(), payload.size(), JXL_FALSE) !=
            JXL_ENC_SUCCESS) {
            return FailEncode(encoder, "bloc EXIF refusé par l'encodeur JPEG XL");
        }
    }
    if (!metadata.xmp.empty() &&
        JxlEncoderAddBox(encoder, "xml ", metadata.xmp.data(), metadata.xmp.size(), JXL_FALSE) !=
            JXL_ENC_SUCCESS) {
        return FailEncode(encoder, "bloc XMP refusé par l'encodeur JPEG XL");
    }
    JxlEncoderCloseBoxes(encoder);
    return B_OK;
}

status_t JXLWriter::Start(const BBitmap& first) {
    fRunner = NewJxlRunner();
    fEncoder.reset(JxlEncoderCreate(nullptr));
    if (!fEncoder || !fRunner) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image JPEG XL");
    }
    if (JxlEncoderSetParallelRunner(fEncoder.get(), JxlThreadParallelRunner, fRunner.get()) !=
        JXL_ENC_SUCCESS) {
        return FailEncode(fEncoder.get(), "réglages de l'encodeur JPEG XL refusés");
    }
    // An opaque picture gets no alpha channel; an animation decides for all its frames.
    fAlpha = fInfo.frameCount > 1 ? fInfo.alpha || HasTransparency(first) : HasTransparency(first);
    if (status_t status = AddMetadata(); status != B_OK) {
        return status;
    }
    return Configure();
}

// Hands libjxl the waiting frame with its duration, then what it has encoded to the file.
status_t JXLWriter::AddPending() {
    if (fInfo.frameCount > 1) {
        JxlFrameHeader header;
        JxlEncoderInitFrameHeader(&header);
        // A frame of no duration would be merged into the next one.
        header.duration = std::max<uint32>(fPendingDelay, 1);
        if (JxlEncoderSetFrameHeader(fSettings, &header) != JXL_ENC_SUCCESS) {
            return FailEncode(fEncoder.get(), "image refusée par l'encodeur JPEG XL");
        }
    }
    const JxlPixelFormat format = {fAlpha ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    if (JxlEncoderAddImageFrame(fSettings, &format, fPending.data(), fPending.size()) !=
        JXL_ENC_SUCCESS) {
        return FailEncode(fEncoder.get(), "image refusée par l'encodeur JPEG XL");
    }
    return B_OK;
}

// Hands the encoded file to the stream a chunk at a time, as far as libjxl has it.
status_t JXLWriter::WriteOutput() {
    std::vector<uint8> chunk(kOutputChunk);
    for (;;) {
        uint8* next = chunk.data();
        size_t available = chunk.size();
        const JxlEncoderStatus status = JxlEncoderProcessOutput(fEncoder.get(), &next, &available);
        if (status == JXL_ENC_ERROR) {
            return FailEncode(fEncoder.get(), "l'encodeur JPEG XL a échoué");
        }
        if (fDestination.WriteExactly(chunk.data(), chunk.size() - available) != B_OK) {
            return Fail(B_IO_ERROR, "écriture du fichier JPEG XL impossible");
        }
        if (status == JXL_ENC_SUCCESS) {
            return B_OK;
        }
    }
}

status_t JXLWriter::WriteFrame(const BBitmap& frame, const FrameTiming& timing) {
    if ((frame.ColorSpace() != B_RGB32 && frame.ColorSpace() != B_RGBA32) ||
        frame.Bits() == nullptr) {
        return Fail(B_BAD_TYPE, "espace de couleurs non pris en charge par l'encodeur JPEG XL");
    }
    if (frame.PixelWidth() != fInfo.width || frame.PixelHeight() != fInfo.height) {
        return Fail(B_BAD_VALUE, "image de taille différente du reste de l'animation");
    }
    if (fFrames == 0) {
        if (status_t status = Start(frame); status != B_OK) {
            return status;
        }
    } else {
        if (status_t status = AddPending(); status != B_OK) {
            return status;
        }
        if (status_t status = WriteOutput(); status != B_OK) {
            return status;
        }
    }
    // libjxl wants RGB(A) rows and copies them in; the converted copy waits its turn.
    const uint32 channels = fAlpha ? 4 : 3;
    size_t rowSize = 0;
    size_t size = 0;
    if (!CheckedMultiply(frame.PixelWidth(), channels, &rowSize) ||
        !CheckedMultiply(rowSize, frame.PixelHeight(), &size)) {
        return Fail(B_NO_MEMORY, "image trop grande pour le JPEG XL");
    }
    fPending.resize(size);
    BitmapToRows(frame, fAlpha, fPending.data(), rowSize);
    // An opaque frame of an animation with alpha: its fourth bytes mean nothing.
    if (fAlpha && frame.ColorSpace() == B_RGB32) {
        for (size_t i = 3; i < size; i += 4) {
            fPending[i] = 255;
        }
    }
    fPendingDelay = timing.delayMs;
    fFrames++;
    return B_OK;
}

status_t JXLWriter::Finish() {
    if (fFrames == 0) {
        return Fail(B_ERROR, "aucune image à écrire");
    }
    // The last frame: closing the input right after it marks it as such, however many
    // frames were announced.
    if (status_t status = AddPending(); status != B_OK) {
        return status;
    }
    JxlEncoderCloseInput(fEncoder.get());
    fPending = {};
    return WriteOutput();
}

}  // namespace

status_t OpenJXLWriter(BPositionIO& destination, const JXLEncoding& encoding,
                       std::unique_ptr<PictureWriter>* writer) {
    *writer = std::make_unique<JXLWriter>(destination, encoding);
    return B_OK;
}

}  // namespace orv
