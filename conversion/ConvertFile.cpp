// SPDX-License-Identifier: MIT
#include "conversion/ConvertFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "conversion/NewFileName.h"
#include "image/OrvImage.h"
#include "platform/storage/Directory.h"
#include "platform/storage/Entry.h"
#include "platform/storage/Node.h"
#include "platform/storage/NodeInfo.h"
#include "platform/storage/SafeWrite.h"
#include "platform/storage/StorageDefs.h"
#include "platform/storage/Trash.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/TranslationUtils.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv {
namespace {

// A name taken between the choice and the rename (another program writing the same folder)
// makes us choose again, a few times.
constexpr int kNamingAttempts = 5;

FileOutcome Failure(status_t status, const char* fallback) {
    FileOutcome outcome;
    outcome.status = status != B_OK ? status : B_ERROR;
    outcome.reason = ErrorReason().empty() ? fallback : ErrorReason();
    return outcome;
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

// The stream presents the working image to the encoder and must hand it back, whatever
// happens, since the image stays ours.
class LentBitmapStream {
public:
    explicit LentBitmapStream(BBitmap* bitmap) : fStream(bitmap) {}
    ~LentBitmapStream() {
        BBitmap* returned = nullptr;
        fStream.DetachBitmap(&returned);
    }
    LentBitmapStream(const LentBitmapStream&) = delete;
    LentBitmapStream& operator=(const LentBitmapStream&) = delete;
    BBitmapStream* Stream() { return &fStream; }

private:
    BBitmapStream fStream;
};

status_t Encode(BTranslatorRoster* roster, BBitmap* image, uint32 type, BFile* destination) {
    ClearErrorReason();
    status_t status;
    {
        LentBitmapStream lent(image);
        status = roster->Translate(lent.Stream(), nullptr, nullptr, destination, type);
    }
    if (status != B_OK) {
        return ErrorReason().empty() ? Fail(status, "l'encodage a échoué") : status;
    }
    // On the disk before anything happens to the source: a full disk shows here.
    status = destination->Flush();
    if (status == B_OK) {
        status = destination->Sync();
    }
    if (status != B_OK) {
        return Fail(status,
                    status == B_DEVICE_FULL ? "disque plein" : "écriture sur le disque impossible");
    }
    return B_OK;
}

// The output takes the name of the source it replaces (an erased source of the same name):
// the two are exchanged in one step, and the temporary's name, which then holds the old
// source, is discarded. Where the file system cannot exchange, a plain rename replaces the
// source, still in one step.
status_t ReplaceSource(SafeWrite* output, const std::string& sourcePath, const char* name) {
    const char* temporary = output->TemporaryPath().c_str();
    if (renameat2(AT_FDCWD, temporary, AT_FDCWD, sourcePath.c_str(), RENAME_EXCHANGE) == 0) {
        output->Discard();
        return B_OK;
    }
    switch (errno) {
        case ENOENT:
            // The source left meanwhile: its name is simply free.
            return output->Commit(name);
        case EINVAL:
        case ENOSYS:
        case EOPNOTSUPP:
            if (rename(temporary, sourcePath.c_str()) == 0) {
                output->Discard();
                return B_OK;
            }
            break;
        default:
            break;
    }
    return Fail(StatusFromErrno(errno), "impossible de remplacer l'original");
}

}  // namespace

FileOutcome ConvertFile(const entry_ref& ref, const OutputFormat& format,
                        const ConversionOptions& options, BTranslatorRoster* roster) {
    ClearErrorReason();
    std::unique_ptr<BBitmap> decoded;
    if (const status_t status = BTranslationUtils::GetBitmap(&ref, &decoded, nullptr);
        status != B_OK) {
        return Failure(status, "image illisible");
    }
    std::unique_ptr<OrvImage> image = OrvImage::Adopt(std::move(decoded));

    BEntry source(&ref, false);
    BDirectory parent;
    char leaf[B_FILE_NAME_LENGTH] = {};
    ClearErrorReason();
    if (!source.Exists() || source.GetParent(&parent) != B_OK || source.GetName(leaf) != B_OK) {
        return Failure(B_ENTRY_NOT_FOUND, "fichier introuvable");
    }
    // A file without a type removes no extension from its name.
    char type[B_FILE_NAME_LENGTH] = {};
    {
        BNode node(&source);
        BNodeInfo info(&node);
        if (info.GetType(type) != B_OK) {
            type[0] = '\0';
        }
    }

    ClearErrorReason();
    status_t status = TakeResult(&image, ApplyFilter(*image, options.filter));
    if (status == B_OK && options.resize) {
        std::unique_ptr<OrvImage> scaled =
            image->Scale(options.width.c_str(), options.height.c_str(), options.keepRatio);
        status = scaled != nullptr ? TakeResult(&image, std::move(scaled))
                                   : (ErrorReason().empty() ? Fail(B_BAD_VALUE, "taille impossible")
                                                            : B_BAD_VALUE);
    }
    // A colour space smoothing does not handle gives no image: the file goes on unsmoothed.
    if (status == B_OK && options.smooth) {
        status = TakeResult(&image, image->Smooth());
    }
    if (status != B_OK) {
        return Failure(status, "traitement de l'image impossible");
    }

    ClearErrorReason();
    SafeWrite output;
    status = output.Open(&parent);
    if (status == B_OK) {
        status = Encode(roster, image.get(), format.type, output.File());
    }
    image.reset();
    if (status == B_OK) {
        status = BNodeInfo(output.File()).SetType(format.MIME.c_str());
    }
    if (status != B_OK) {
        return Failure(status, "écriture impossible");
    }

    FileOutcome outcome;
    if (options.disposal == SourceDisposal::Trash) {
        ClearErrorReason();
        if (const status_t trashed = MoveToTrash(source); trashed != B_OK) {
            outcome.warning = "original laissé en place : " + ErrorReasonOr(trashed);
        }
    }

    const bool erase = options.disposal == SourceDisposal::Erase;
    const std::string sourcePath = ref.Path();
    bool sourceReplaced = false;
    status = B_FILE_EXISTS;
    for (int attempt = 0; attempt < kNamingAttempts && status == B_FILE_EXISTS; ++attempt) {
        ClearErrorReason();
        const NewFileNameResult name =
            ChooseNewFileName(&parent, leaf, type, format.extension, options.removeOldExtension,
                              options.addNewExtension, erase ? leaf : nullptr);
        if (!name.isFree) {
            return Failure(B_FILE_EXISTS, "aucun nom libre pour le fichier converti");
        }
        if (erase && name.name == leaf) {
            // Whichever way it went, the source's name now holds the output.
            status = ReplaceSource(&output, sourcePath, name.name.c_str());
            sourceReplaced = status == B_OK;
            if (status == B_OK) {
                outcome.output = sourcePath;
            }
        } else {
            status = output.Commit(name.name.c_str());
            if (status == B_OK) {
                outcome.output = output.CommittedPath();
            }
        }
    }
    if (status != B_OK) {
        return Failure(status, "impossible de nommer le fichier converti");
    }

    if (erase && !sourceReplaced) {
        ClearErrorReason();
        BEntry leftover(&ref, false);
        if (leftover.Exists() && leftover.Remove() != B_OK) {
            outcome.warning = "original non effacé : " + ErrorReasonOr(B_ERROR);
        }
    }
    return outcome;
}

}  // namespace orv
