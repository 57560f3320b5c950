// SPDX-License-Identifier: MIT
#include "platform/translation/ImageTranslator.h"

#include <atomic>
#include <cstring>

#include "platform/support/ErrorReason.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/ConfigurationView.h"

namespace orv {

namespace {

std::atomic<ConfigurationViewFactory> sViewFactory{nullptr};

// The interchange format as every picture translator lists it. Its figures only matter
// against other translators' figures for the same format, and all of ours give the same.
constexpr translation_format kBitmapFormat = {
    B_TRANSLATOR_BITMAP, B_TRANSLATOR_BITMAP,      0.4f, 0.6f,
    "image/x-be-bitmap", "Format bitmap d'échange"};

std::vector<translation_format> WithBitmapFormat(std::span<const translation_format> own) {
    std::vector<translation_format> formats(own.begin(), own.end());
    formats.push_back(kBitmapFormat);
    return formats;
}

const translation_format* FindFormat(const std::vector<translation_format>& formats, uint32 type) {
    for (const translation_format& format : formats) {
        if (format.type == type) {
            return &format;
        }
    }
    return nullptr;
}

// True for a stream in the interchange format: one of our bitmap streams holding a bitmap,
// or any stream that starts with the format's signature.
bool IsBitmapStream(BPositionIO& source) {
    if (auto* stream = dynamic_cast<BBitmapStream*>(&source); stream != nullptr) {
        return stream->Bitmap() != nullptr;
    }
    uint8 magic[4];
    if (source.ReadAt(0, magic, sizeof magic) != ssize_t(sizeof magic)) {
        return false;
    }
    return std::memcmp(magic, "bits", 4) == 0;
}

void FillInfo(const translation_format& format, translator_info* info) {
    info->type = format.type;
    info->translator = 0;  // the roster knows our id; we do not
    info->group = format.group;
    info->quality = format.quality;
    info->capability = format.capability;
    static_assert(sizeof info->name == sizeof format.name &&
                  sizeof info->MIME == sizeof format.MIME);
    std::memcpy(info->name, format.name, sizeof info->name);
    info->name[sizeof info->name - 1] = '\0';
    std::memcpy(info->MIME, format.MIME, sizeof info->MIME);
    info->MIME[sizeof info->MIME - 1] = '\0';
}

}  // namespace

void SetConfigurationViewFactory(ConfigurationViewFactory factory) {
    sViewFactory = factory;
}

ConfigurationViewFactory GetConfigurationViewFactory() {
    return sViewFactory;
}

ImageTranslator::ImageTranslator(const TranslatorDescription& description)
    : fDescription(description),
      fInputs(WithBitmapFormat(description.inputs)),
      fOutputs(WithBitmapFormat(description.outputs)),
      fSettings(description.settingsKey, description.settings) {
    fSettings.Load();
}

ImageTranslator::~ImageTranslator() = default;

const char* ImageTranslator::TranslatorName() const {
    return fDescription.name;
}

const char* ImageTranslator::TranslatorInfo() const {
    return fDescription.info;
}

int32 ImageTranslator::TranslatorVersion() const {
    return fDescription.version;
}

const translation_format* ImageTranslator::InputFormats(int32* count) const {
    if (count != nullptr) {
        *count = int32(fInputs.size());
    }
    return fInputs.data();
}

const translation_format* ImageTranslator::OutputFormats(int32* count) const {
    if (count != nullptr) {
        *count = int32(fOutputs.size());
    }
    return fOutputs.data();
}

status_t ImageTranslator::Identify(BPositionIO* source, const translation_format*, BMessage*,
                                   translator_info* outInfo, uint32 outType) {
    if (source == nullptr || outInfo == nullptr) {
        return B_BAD_VALUE;
    }
    if (outType != B_TRANSLATOR_ANY_TYPE && FindFormat(fOutputs, outType) == nullptr) {
        return B_NO_TRANSLATOR;
    }
    // The interchange stream is ours to read only when we would turn it into something
    // else: that is what makes us a candidate for encoding.
    if (IsBitmapStream(*source)) {
        if (outType == B_TRANSLATOR_BITMAP || fDescription.outputs.empty()) {
            return B_NO_TRANSLATOR;
        }
        FillInfo(kBitmapFormat, outInfo);
        return B_OK;
    }
    const off_t position = source->Position();
    const translation_format* format = nullptr;
    const status_t status = IdentifyImage(*source, &format);
    source->Seek(position, SEEK_FROM_START);
    if (status != B_OK || format == nullptr) {
        return B_NO_TRANSLATOR;
    }
    FillInfo(*format, outInfo);
    return B_OK;
}

status_t ImageTranslator::Translate(BPositionIO* source, const translator_info*, BMessage*,
                                    uint32 outType, BPositionIO* destination) {
    if (source == nullptr || destination == nullptr) {
        return B_BAD_VALUE;
    }
    auto* sourceStream = dynamic_cast<BBitmapStream*>(source);
    const bool fromBitmap = IsBitmapStream(*source);
    if (outType == B_TRANSLATOR_ANY_TYPE) {
        // Pictures go to the interchange format; the interchange format goes to our own.
        if (!fromBitmap) {
            outType = B_TRANSLATOR_BITMAP;
        } else if (!fDescription.outputs.empty()) {
            outType = fDescription.outputs.front().type;
        }
    }
    if (FindFormat(fOutputs, outType) == nullptr) {
        return Fail(B_NO_TRANSLATOR, "format de sortie non pris en charge par ce traducteur");
    }

    if (fromBitmap && outType != B_TRANSLATOR_BITMAP && sourceStream != nullptr &&
        sourceStream->Bitmap() != nullptr) {
        return EncodeImage(*sourceStream->Bitmap(), outType, *destination);
    }

    std::unique_ptr<BBitmap> image;
    status_t status;
    if (fromBitmap) {
        source->Seek(0, SEEK_FROM_START);
        status = ReadInterchangeBitmap(*source, &image);
    } else {
        source->Seek(0, SEEK_FROM_START);
        status = DecodeImage(*source, &image);
    }
    if (status != B_OK) {
        return status;
    }
    if (image == nullptr) {
        return Fail(B_ERROR, "le décodeur n'a rendu aucune image");
    }
    if (outType != B_TRANSLATOR_BITMAP) {
        return EncodeImage(*image, outType, *destination);
    }
    if (auto* destinationStream = dynamic_cast<BBitmapStream*>(destination);
        destinationStream != nullptr && destinationStream->AdoptBitmap(image.get()) == B_OK) {
        image.release();
        return B_OK;
    }
    return WriteInterchangeBitmap(*image, *destination);
}

status_t ImageTranslator::MakeConfigurationView(BMessage* ioExtension, BView** outView,
                                                BRect* outExtent) {
    ConfigurationViewFactory factory = sViewFactory;
    if (factory == nullptr || outView == nullptr || outExtent == nullptr) {
        return B_ERROR;
    }
    return factory(*this, ioExtension, outView, outExtent);
}

status_t ImageTranslator::GetConfigurationMessage(BMessage* ioExtension) {
    if (ioExtension == nullptr) {
        return B_BAD_VALUE;
    }
    fSettings.ToMessage(ioExtension);
    return B_OK;
}

}  // namespace orv
