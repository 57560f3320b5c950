// SPDX-License-Identifier: MIT
// The first half of a file's conversion: from the source to a complete output with no name.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "conversion/ConvertFile.h"
#include "conversion/MemoryBudget.h"
#include "conversion/MetadataFit.h"
#include "conversion/UnreadableSource.h"
#include "conversion/WatchedOutput.h"
#include "image/OrvImage.h"
#include "platform/storage/NodeInfo.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/ColorManagement.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/PictureTranslation.h"
#include "platform/translation/TranslatorRoster.h"
#include "platform/translation/TranslatorSettings.h"

namespace orv {

namespace {

std::unique_ptr<PreparedFile> Failed(std::unique_ptr<PreparedFile> prepared, status_t status,
                                     const char* fallback) {
    prepared->outcome.status = status != B_OK ? status : B_ERROR;
    prepared->outcome.reason = ErrorReason().empty() ? fallback : ErrorReason();
    prepared->output.Discard();
    return prepared;
}

// The source could not be opened: a folder (a link to one, met in a folder walk) or another
// thing that is no file is no picture; anything else is a failure with the system's reason.
std::unique_ptr<PreparedFile> NotAFile(std::unique_ptr<PreparedFile> prepared, status_t status) {
    struct stat atName;
    struct stat target;
    const std::string path = prepared->source.Path();
    if (lstat(path.c_str(), &atName) == 0 && stat(path.c_str(), &target) == 0 &&
        !S_ISREG(target.st_mode)) {
        prepared->outcome.notAPicture = true;
        ClearErrorReason();
        const char* what = !S_ISDIR(target.st_mode)  ? "ce n'est pas un fichier ordinaire"
                           : S_ISLNK(atName.st_mode) ? "lien vers un dossier"
                                                     : "c'est un dossier";
        return Failed(std::move(prepared), status, what);
    }
    return Failed(std::move(prepared), status, "fichier illisible");
}

// Replaces the working image by `next` when an operation made one; a result whose pixels
// could not be allocated fails the file.
status_t TakeResult(std::unique_ptr<OrvImage>* image, std::unique_ptr<OrvImage> next) {
    if (next == nullptr) {
        return B_OK;
    }
    if (const status_t status = next->InitCheck(); status != B_OK) {
        return ErrorReason().empty() ? Fail(status, "mémoire insuffisante pour l'image") : status;
    }
    *image = std::move(next);
    return B_OK;
}

// The hand-drawing filters look at each pixel's neighbours, so they must see the picture
// at its full size; the others give the same picture whether it is reduced before or after.
bool FilterCommutesWithScaling(int32 filter) {
    return filter != kLightDrawingFilter && filter != kBoldDrawingFilter &&
           filter != kSoftDrawingFilter;
}

// The filter (unless the decoder did it), the new size and the smoothing, applied to one
// frame as to a single picture.
status_t ProcessFrame(std::unique_ptr<OrvImage>* image, const ConversionOptions& options,
                      int32 filter, uint32 width, uint32 height) {
    // The frame is this run's alone: most filters change it where it is.
    status_t status = ApplyFilterInPlace(**image, filter)
                          ? B_OK
                          : TakeResult(image, ApplyFilter(**image, filter));
    if (status == B_OK && options.resize) {
        std::unique_ptr<OrvImage> scaled = (*image)->Scale(width, height);
        status = scaled != nullptr ? TakeResult(image, std::move(scaled))
                                   : (ErrorReason().empty() ? Fail(B_BAD_VALUE, "taille impossible")
                                                            : B_BAD_VALUE);
    }
    // A colour space smoothing does not handle gives no image: the frame goes on unsmoothed.
    if (status == B_OK && options.smooth) {
        status = TakeResult(image, (*image)->Smooth());
    }
    return status;
}

// What a picture of width × height needs in memory while it is worked on: the decoded
// frame and one result beside it, at the larger of the two sizes.
size_t WorkingBytes(uint64 width, uint64 height, uint64 newWidth, uint64 newHeight) {
    return size_t(8 * std::max(width * height, newWidth * newHeight));
}

std::string DroppedFramesWarning(const PictureInfo& info) {
    const std::string count = std::to_string(info.frameCount);
    return info.pages ? "document de " + count + " pages : seule la première a été gardée"
                      : "animation de " + count + " images : seule la première a été gardée";
}

// The description the writer gets: the metadata made true to the output, dropped where the
// user asked for none, and the colours said in a way the output can hold.
struct OutputPlan {
    PictureInfo info;
    std::unique_ptr<SRGBConverter> converter;
    std::string warning;
};

OutputPlan PlanOutput(const PictureInfo& source, const PictureOutput& writer,
                      const ConversionOptions& options, uint32 frames) {
    OutputPlan plan;
    plan.info = source;
    plan.info.frameCount = frames;
    plan.info.orientationApplied = false;
    PictureMetadata& metadata = plan.info.metadata;
    const bool keepMetadata =
        !options.stripMetadata && (writer.settings == nullptr || !writer.traits.metadata ||
                                   writer.settings->Bool(kKeepMetadataSetting));
    if (!keepMetadata) {
        StripPersonalMetadata(&metadata);
    }
    const bool toSRGB = !writer.traits.profiles || (writer.settings != nullptr &&
                                                    writer.settings->Bool(kConvertToSRGBSetting));
    if (toSRGB) {
        ClearErrorReason();
        plan.converter = SRGBConverter::Make(metadata.color);
        if (plan.converter == nullptr && !ErrorReason().empty()) {
            plan.warning = ErrorReason() + " : couleurs laissées telles quelles";
        }
        metadata.color = ColorDescription{};
        metadata.color.srgb = plan.converter != nullptr;
    } else if (metadata.color.icc.empty()) {
        // Colours said without a profile (PNG gAMA, CICP) reach every writer as one too, for
        // the formats that can hold nothing else; those that can say it their own way still
        // have the description.
        metadata.color.icc = ProfileBytes(metadata.color);
    }
    return plan;
}

}  // namespace

std::unique_ptr<PreparedFile> PrepareFile(const entry_ref& ref, const OutputFormat& format,
                                          const ConversionOptions& options,
                                          BTranslatorRoster* roster, MemoryBudget* budget) {
    auto prepared = std::make_unique<PreparedFile>();
    prepared->source = ref;
    ClearErrorReason();
    // Another run's half-written output is never taken for a picture of the user's.
    if (ref.name.rfind(TemporaryPrefix(), 0) == 0) {
        return Failed(std::move(prepared), B_NOT_ALLOWED, "fichier temporaire d'une conversion");
    }

    // The source stays open from here until it is disposed of, and what its name leads to
    // now is what PlaceFile will check it still leads to.
    BFile& source = prepared->sourceFile;
    if (const status_t status = source.SetTo(&ref, B_READ_ONLY); status != B_OK) {
        return NotAFile(std::move(prepared), status);
    }
    struct stat opened;
    struct stat atName;
    if (source.GetStat(&opened) != B_OK || lstat(ref.Path().c_str(), &atName) != 0 ||
        IdentityAt(ref.Path(), &prepared->identity) != B_OK) {
        return Failed(std::move(prepared), B_ENTRY_NOT_FOUND, "fichier introuvable");
    }
    if (!S_ISLNK(atName.st_mode) &&
        (atName.st_dev != opened.st_dev || atName.st_ino != opened.st_ino)) {
        return Failed(std::move(prepared), B_BUSY, "fichier remplacé pendant sa lecture");
    }
    {
        // A file without a type removes no extension from its name.
        char type[B_FILE_NAME_LENGTH] = {};
        if (BNodeInfo(&source).GetType(type) == B_OK) {
            prepared->type = type;
        }
    }

    ClearErrorReason();
    std::unique_ptr<PictureReader> reader;
    if (const status_t status = OpenPicture(
            source, nullptr, &reader, prepared->type.empty() ? nullptr : prepared->type.c_str());
        status != B_OK) {
        if (status != B_NO_TRANSLATOR) {
            return Failed(std::move(prepared), status, "image illisible");
        }
        const UnreadableSource why = WhyNoDecoder(source, prepared->type, *roster);
        prepared->outcome.notAPicture = why.notAPicture;
        ClearErrorReason();
        return Failed(std::move(prepared), status, why.reason.c_str());
    }
    const PictureInfo& info = reader->Info();

    // The output takes the source's permission bits, so a private picture stays private.
    ClearErrorReason();
    if (const status_t status = prepared->output.Open(ref.directory, mode_t(opened.st_mode & 0777));
        status != B_OK) {
        return Failed(std::move(prepared), status, "écriture impossible");
    }
    if (opened.st_gid != getegid()) {
        // Where the user may give it the source's group; elsewhere it keeps the user's.
        [[maybe_unused]] const int ignored =
            fchown(prepared->output.File()->FileDescriptor(), uid_t(-1), opened.st_gid);
    }
    // Declared before the writer, which writes into it until it is gone.
    WatchedOutput destination(*prepared->output.File());
    // An encoder's failure, with the file's own reason when the file refused a write.
    const auto encodeFailed = [&destination](std::unique_ptr<PreparedFile> failed, status_t status,
                                             const char* fallback) {
        const std::string reason =
            destination.WithCause(ErrorReason().empty() ? fallback : ErrorReason());
        ClearErrorReason();
        return Failed(std::move(failed), status, reason.c_str());
    };
    PictureOutput writer;
    if (const status_t status = OpenPictureWriter(roster, format.type, destination, &writer);
        status != B_OK) {
        return encodeFailed(std::move(prepared), status, "écriture impossible");
    }

    const bool keepFrames =
        info.frameCount > 1 && writer.traits.sequences &&
        (writer.settings == nullptr || writer.settings->Bool(kKeepAnimationSetting));
    const uint32 frames = keepFrames ? info.frameCount : 1;
    ClearErrorReason();
    if (const status_t status = CheckSequenceSize(info.width, info.height, frames);
        status != B_OK) {
        return Failed(std::move(prepared), status, "image trop grande");
    }
    uint32 width = info.width;
    uint32 height = info.height;
    if (options.resize) {
        if (const status_t status =
                ScaledSize(info.width, info.height, options.width.c_str(), options.height.c_str(),
                           options.keepRatio, &width, &height);
            status != B_OK) {
            return Failed(std::move(prepared), status, "taille impossible");
        }
        if (FilterCommutesWithScaling(options.filter)) {
            reader->SetSizeHint(width, height);
        }
    }
    const MemoryBudget::Hold hold(budget, WorkingBytes(info.width, info.height, width, height));
    // A filter of each pixel by itself is done by the decoder as the rows come, where it can.
    int32 filter = options.filter;
    if (PixelWork work = PixelFilter(filter); work && reader->SetPixelWork(std::move(work))) {
        filter = kNoFilter;
    }

    OutputPlan plan = PlanOutput(info, writer, options, frames);
    for (uint32 index = 0; index < frames; ++index) {
        ClearErrorReason();
        std::unique_ptr<BBitmap> decoded;
        FrameTiming timing;
        if (const status_t status = reader->ReadFrame(&decoded, &timing); status != B_OK) {
            return Failed(std::move(prepared), status, "image illisible");
        }
        std::unique_ptr<OrvImage> image = OrvImage::Adopt(std::move(decoded));
        status_t status = ProcessFrame(&image, options, filter, width, height);
        if (status == B_OK && plan.converter != nullptr) {
            status = plan.converter->Apply(*image);
        }
        if (status != B_OK) {
            return Failed(std::move(prepared), status, "traitement de l'image impossible");
        }
        if (index == 0) {
            plan.info.width = image->PixelWidth();
            plan.info.height = image->PixelHeight();
            plan.info.alpha = image->ColorSpace() == B_RGBA32;
            const PictureChanges changes{
                plan.info.width, plan.info.height, info.orientationApplied,
                options.filter != 0 || options.resize || options.smooth || info.orientationApplied};
            FitMetadata(&plan.info.metadata, changes);
            ClearErrorReason();
            if (status = writer.writer->Begin(plan.info); status != B_OK) {
                return encodeFailed(std::move(prepared), status, "l'encodage a échoué");
            }
        }
        ClearErrorReason();
        if (status = writer.writer->WriteFrame(*image, timing); status != B_OK) {
            return encodeFailed(std::move(prepared), status, "l'encodage a échoué");
        }
    }
    ClearErrorReason();
    if (const status_t status = writer.writer->Finish(); status != B_OK) {
        return encodeFailed(std::move(prepared), status, "l'encodage a échoué");
    }
    writer.writer.reset();

    if (info.frameCount > frames) {
        prepared->outcome.warnings.push_back(DroppedFramesWarning(info));
    }
    if (!plan.warning.empty()) {
        prepared->outcome.warnings.push_back(plan.warning);
    }
    if (!reader->Damage().empty()) {
        prepared->damaged = true;
        prepared->outcome.warnings.push_back(reader->Damage());
    }

    ClearErrorReason();
    status_t status = BNodeInfo(prepared->output.File()).SetType(format.MIME.c_str());
    if (status == B_OK) {
        // On the disk before anything happens to the source: a full disk shows here.
        status = prepared->output.Sync();
    }
    if (status != B_OK) {
        return Failed(std::move(prepared), status, "écriture impossible");
    }
    return prepared;
}

FileOutcome ConvertFile(const entry_ref& ref, const OutputFormat& format,
                        const ConversionOptions& options, BTranslatorRoster* roster) {
    std::unique_ptr<PreparedFile> prepared = PrepareFile(ref, format, options, roster, nullptr);
    if (prepared->outcome.status != B_OK) {
        return prepared->outcome;
    }
    return PlaceFile(prepared.get(), format, options);
}

}  // namespace orv
