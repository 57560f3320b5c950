// SPDX-License-Identifier: MIT
// The base of every picture translator: one codec that reads its formats into a BBitmap and
// writes a BBitmap into its formats. The base does the rest: the bitmap interchange stream,
// Identify, Translate, settings and the configuration message.
//
// A translator in this process is also reached directly (the roster's fast path): decoding
// writes straight into the new BBitmap and encoding reads straight from the caller's, so no
// pixel is copied between the codec and the image operations.
#pragma once

#include <memory>
#include <span>

#include "platform/interface/Bitmap.h"
#include "platform/translation/Picture.h"
#include "platform/translation/PictureIO.h"
#include "platform/translation/Translator.h"
#include "platform/translation/TranslatorSettings.h"

namespace orv {

struct TranslatorDescription {
    const char* name;  // shown in lists, e.g. "Images PNG"
    const char* info;  // one line about the codec and its library version
    int32 version;
    const char* settingsKey;                      // file name of the settings, e.g. "png"
    std::span<const translation_format> inputs;   // the codec's own formats it reads
    std::span<const translation_format> outputs;  // the codec's own formats it writes
    std::span<const SettingSchema> settings;
    // What the codec's output format holds beside one picture's pixels; each capability
    // brings its common writer setting (see kKeepMetadataSetting and the others).
    WriterTraits writes = {};
};

// The writer settings every translator with the capability has, declared once here so that
// the settings window and the command line show them alike.
inline constexpr const char* kKeepMetadataSetting = "metadata";    // EXIF, XMP, IPTC kept
inline constexpr const char* kConvertToSRGBSetting = "srgb";       // pixels turned to sRGB
inline constexpr const char* kKeepAnimationSetting = "animation";  // every frame kept

// `description` where the codec's library can write the format; where it cannot (a build
// without an encoder), the format is offered for reading only: no outputs, nothing written.
TranslatorDescription ReadOnlyUnless(bool canWrite, TranslatorDescription description);

// The description of a bitmap that says nothing beyond its pixels: its size, whether it has
// alpha, one frame.
PictureInfo PlainInfo(const BBitmap& bitmap);

class ImageTranslator : public BTranslator {
public:
    explicit ImageTranslator(const TranslatorDescription& description);
    ~ImageTranslator() override;

    // Is the stream one of our input formats? Reads the header only, from position 0, and
    // sets *format to the matching entry of the inputs. B_NO_TRANSLATOR when it is not ours.
    virtual status_t IdentifyImage(BPositionIO& source, const translation_format** format) = 0;

    // Decodes the stream's picture into a new B_RGB32 (no alpha) or B_RGBA32 (alpha) bitmap,
    // with what the file says beside the pixels. Checks the declared size with
    // CheckImageSize, and every block it keeps with CheckMetadataSize, before allocating.
    // A file that ends early or is damaged in part gives what could be read and says so in
    // decoded->damage; one that cannot be shown fails with a reason (orv::Fail). Never
    // reads or writes out of bounds, never loops forever.
    virtual status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) = 0;

    // Encodes `image` (B_RGB32 or B_RGBA32 as a rule; other spaces may be refused with
    // B_BAD_TYPE) as the output format `outType` into `destination`, with the current
    // settings, and writes what `info` describes wherever the format can hold it.
    virtual status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                                   BPositionIO& destination) = 0;

    // The pixels alone, for callers that need nothing else (tests, fuzzers, the interchange
    // stream): DecodePicture without what the file says beside the pixels, and
    // EncodePicture of a bitmap that says nothing more.
    status_t DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image);
    status_t EncodeImage(const BBitmap& image, uint32 outType, BPositionIO& destination);

    // A reader for the stream, open on its header. The default decodes the one picture at
    // once with DecodePicture; codecs with frames, or that decode faster at a reduced size,
    // give their own.
    virtual status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader);
    // A writer of `outType` into `destination`. The default takes one frame and encodes it
    // with EncodePicture; codecs that write sequences give their own.
    virtual status_t OpenWriter(uint32 outType, BPositionIO& destination,
                                std::unique_ptr<PictureWriter>* writer);

    const WriterTraits& Writes() const { return fDescription.writes; }

    TranslatorSettings& Settings() { return fSettings; }
    const TranslatorSettings& Settings() const { return fSettings; }

    // BTranslator
    const char* TranslatorName() const override;
    const char* TranslatorInfo() const override;
    int32 TranslatorVersion() const override;
    const translation_format* InputFormats(int32* count) const override;
    const translation_format* OutputFormats(int32* count) const override;
    status_t Identify(BPositionIO* source, const translation_format* format, BMessage* ioExtension,
                      translator_info* outInfo, uint32 outType) override;
    status_t Translate(BPositionIO* source, const translator_info* info, BMessage* ioExtension,
                       uint32 outType, BPositionIO* destination) override;
    status_t MakeConfigurationView(BMessage* ioExtension, BView** outView,
                                   BRect* outExtent) override;
    status_t GetConfigurationMessage(BMessage* ioExtension) override;

protected:
    // For codecs whose own reader also serves DecodePicture: the reader's first frame with
    // what it describes (as one frame) and any damage met.
    status_t DecodeThroughReader(BPositionIO& source, DecodedImage* decoded);
    // The codec's own output formats, without the interchange format.
    std::span<const translation_format> CodecOutputs() const { return fDescription.outputs; }

private:
    TranslatorDescription fDescription;
    // The interchange format is added to the codec's own lists, so the roster can find the
    // translator for a bitmap in either direction.
    std::vector<translation_format> fInputs;
    std::vector<translation_format> fOutputs;
    // The codec's own settings followed by the common writer settings it has.
    std::vector<SettingSchema> fSchema;
    TranslatorSettings fSettings;
};

}  // namespace orv
