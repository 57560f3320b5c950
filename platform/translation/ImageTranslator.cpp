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

// The common writer settings, each added to the schema of the translators whose format has
// the capability it governs.
constexpr SettingSchema kKeepMetadata = {kKeepMetadataSetting, SettingSchema::Kind::Bool,
                                         "Garder les métadonnées (EXIF, XMP, IPTC)", 1};
constexpr SettingSchema kConvertToSRGB = {kConvertToSRGBSetting, SettingSchema::Kind::Bool,
                                          "Convertir les couleurs en sRGB", 0};
constexpr SettingSchema kKeepAnimation = {kKeepAnimationSetting, SettingSchema::Kind::Bool,
                                          "Garder l'animation", 1};

std::vector<SettingSchema> SchemaFor(const TranslatorDescription& description) {
    std::vector<SettingSchema> schema(description.settings.begin(), description.settings.end());
    if (description.writes.metadata) {
        schema.push_back(kKeepMetadata);
    }
    if (description.writes.profiles) {
        schema.push_back(kConvertToSRGB);
    }
    if (description.writes.sequences) {
        schema.push_back(kKeepAnimation);
    }
    return schema;
}

// One frame, encoded by the translator's EncodePicture when it comes.
class SingleImageWriter final : public PictureWriter {
public:
    SingleImageWriter(ImageTranslator& translator, uint32 outType, BPositionIO& destination)
        : fTranslator(translator), fOutType(outType), fDestination(destination) {}

    status_t Begin(const PictureInfo& info) override {
        fInfo = info;
        return B_OK;
    }

    status_t WriteFrame(const BBitmap& frame, const FrameTiming&) override {
        if (fWritten) {
            return Fail(B_NOT_ALLOWED, "ce format ne garde qu'une image par fichier");
        }
        fWritten = true;
        return fTranslator.EncodePicture(frame, fInfo, fOutType, fDestination);
    }

    status_t Finish() override { return fWritten ? B_OK : Fail(B_ERROR, "aucune image à écrire"); }

private:
    ImageTranslator& fTranslator;
    uint32 fOutType;
    BPositionIO& fDestination;
    PictureInfo fInfo;
    bool fWritten = false;
};

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

TranslatorDescription ReadOnlyUnless(bool canWrite, TranslatorDescription description) {
    if (!canWrite) {
        description.outputs = {};
        description.writes = {};
    }
    return description;
}

PictureInfo PlainInfo(const BBitmap& bitmap) {
    PictureInfo info;
    info.width = bitmap.PixelWidth();
    info.height = bitmap.PixelHeight();
    info.alpha = bitmap.ColorSpace() == B_RGBA32;
    return info;
}

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
      fSchema(SchemaFor(description)),
      fSettings(description.settingsKey, fSchema) {
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

    // The interchange stream carries pixels only: what it is written from says nothing more.
    if (fromBitmap && outType != B_TRANSLATOR_BITMAP && sourceStream != nullptr &&
        sourceStream->Bitmap() != nullptr) {
        const BBitmap& bitmap = *sourceStream->Bitmap();
        return EncodePicture(bitmap, PlainInfo(bitmap), outType, *destination);
    }

    std::unique_ptr<BBitmap> image;
    PictureInfo info;
    status_t status;
    source->Seek(0, SEEK_FROM_START);
    if (fromBitmap) {
        status = ReadInterchangeBitmap(*source, &image);
        if (status == B_OK && image != nullptr) {
            info = PlainInfo(*image);
        }
    } else {
        DecodedImage decoded;
        status = DecodePicture(*source, &decoded);
        image = std::move(decoded.bitmap);
        info = std::move(decoded.info);
    }
    if (status != B_OK) {
        return status;
    }
    if (image == nullptr) {
        return Fail(B_ERROR, "le décodeur n'a rendu aucune image");
    }
    if (outType != B_TRANSLATOR_BITMAP) {
        return EncodePicture(*image, info, outType, *destination);
    }
    if (auto* destinationStream = dynamic_cast<BBitmapStream*>(destination);
        destinationStream != nullptr && destinationStream->AdoptBitmap(image.get()) == B_OK) {
        image.release();
        return B_OK;
    }
    return WriteInterchangeBitmap(*image, *destination);
}

status_t ImageTranslator::DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image) {
    DecodedImage decoded;
    const status_t status = DecodePicture(source, &decoded);
    *image = std::move(decoded.bitmap);
    return status;
}

status_t ImageTranslator::EncodeImage(const BBitmap& image, uint32 outType,
                                      BPositionIO& destination) {
    return EncodePicture(image, PlainInfo(image), outType, destination);
}

status_t ImageTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    reader->reset();
    if (source.Seek(0, SEEK_FROM_START) != 0) {
        return Fail(B_IO_ERROR, "lecture du fichier impossible");
    }
    DecodedImage decoded;
    if (status_t status = DecodePicture(source, &decoded); status != B_OK) {
        return status;
    }
    if (decoded.bitmap == nullptr || decoded.bitmap->InitCheck() != B_OK) {
        return Fail(B_ERROR, "le décodeur n'a rendu aucune image");
    }
    *reader = std::make_unique<SingleImageReader>(std::move(decoded));
    return B_OK;
}

status_t ImageTranslator::OpenWriter(uint32 outType, BPositionIO& destination,
                                     std::unique_ptr<PictureWriter>* writer) {
    writer->reset();
    if (FindFormat(fOutputs, outType) == nullptr || outType == B_TRANSLATOR_BITMAP) {
        return Fail(B_NO_TRANSLATOR, "format de sortie non pris en charge par ce traducteur");
    }
    *writer = std::make_unique<SingleImageWriter>(*this, outType, destination);
    return B_OK;
}

status_t ImageTranslator::DecodeThroughReader(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<PictureReader> reader;
    if (status_t status = OpenReader(source, &reader); status != B_OK) {
        return status;
    }
    FrameTiming timing;
    if (status_t status = reader->ReadFrame(&decoded->bitmap, &timing); status != B_OK) {
        decoded->bitmap.reset();
        return status;
    }
    decoded->info = reader->Info();
    decoded->info.frameCount = 1;
    decoded->damage = reader->Damage();
    return B_OK;
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
