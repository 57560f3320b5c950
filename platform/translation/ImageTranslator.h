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
};

class ImageTranslator : public BTranslator {
public:
    explicit ImageTranslator(const TranslatorDescription& description);
    ~ImageTranslator() override;

    // Is the stream one of our input formats? Reads the header only, from position 0, and
    // sets *format to the matching entry of the inputs. B_NO_TRANSLATOR when it is not ours.
    virtual status_t IdentifyImage(BPositionIO& source, const translation_format** format) = 0;

    // Decodes the stream into a new B_RGB32 (no alpha) or B_RGBA32 (alpha) bitmap. Checks the
    // declared size with CheckImageSize before allocating. Fails with a reason (orv::Fail)
    // on damaged data; never reads or writes out of bounds, never loops forever.
    virtual status_t DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image) = 0;

    // Encodes `image` (B_RGB32 or B_RGBA32 as a rule; other spaces may be refused with
    // B_BAD_TYPE) as the output format `outType` into `destination`, with the current
    // settings.
    virtual status_t EncodeImage(const BBitmap& image, uint32 outType,
                                 BPositionIO& destination) = 0;

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

private:
    TranslatorDescription fDescription;
    // The interchange format is added to the codec's own lists, so the roster can find the
    // translator for a bitmap in either direction.
    std::vector<translation_format> fInputs;
    std::vector<translation_format> fOutputs;
    TranslatorSettings fSettings;
};

}  // namespace orv
