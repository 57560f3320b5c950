// SPDX-License-Identifier: MIT
// The second half of a file's conversion, in list order: the output gets its name first,
// and only then does the source leave, after a check that it is still the file decoded.
#include <unistd.h>

#include <cerrno>

#include "conversion/ConvertFile.h"
#include "conversion/NewFileName.h"
#include "platform/storage/Directory.h"
#include "platform/storage/Trash.h"
#include "platform/support/ErrorReason.h"

namespace orv {

namespace {

// A name taken between the choice and the link (another program writing the same folder)
// makes us choose again, a few times.
constexpr int kNamingAttempts = 5;

constexpr const char* kChangedMeanwhile = "modifié pendant la conversion : conservé";

FileOutcome Failure(FileOutcome outcome, status_t status, const char* fallback) {
    outcome.status = status != B_OK ? status : B_ERROR;
    outcome.reason = ErrorReason().empty() ? fallback : ErrorReason();
    return outcome;
}

// True while the source's name still leads to the very file that was decoded, neither
// replaced nor rewritten since.
bool SourceUnchanged(const PreparedFile& prepared) {
    FileIdentity now;
    return IdentityAt(prepared.source.Path(), &now) == B_OK && now.Unchanged(prepared.identity);
}

bool SourceGone(const PreparedFile& prepared) {
    FileIdentity now;
    return IdentityAt(prepared.source.Path(), &now) == B_ENTRY_NOT_FOUND;
}

// Removes or trashes the entry at `path`, which holds the source (at its own name, or
// displaced under a hidden one); a refusal is a warning, the source staying.
status_t DisposeOf(const std::string& path, const PreparedFile& prepared, SourceDisposal disposal,
                   FileOutcome* outcome) {
    ClearErrorReason();
    if (disposal == SourceDisposal::Trash) {
        const status_t status = MoveToTrash(path, nullptr, prepared.source.Path());
        if (status != B_OK) {
            outcome->warnings.push_back("original laissé en place : " + ErrorReasonOr(status));
        }
        return status;
    }
    if (unlink(path.c_str()) != 0) {
        const status_t status = StatusFromErrno(errno);
        outcome->warnings.push_back("original non effacé : " + std::string(StatusText(status)));
        return status;
    }
    return B_OK;
}

// The output takes the source's own name: the two are exchanged in one step, then what was
// exchanged out is checked to be the source and disposed of. When it is not, or when it
// cannot be disposed of, the exchange is undone and B_FILE_EXISTS sends the caller to
// another name. B_UNSUPPORTED where the file system cannot exchange.
status_t ReplaceSource(PreparedFile* prepared, SourceDisposal disposal, FileOutcome* outcome) {
    std::string displaced;
    const std::string& leaf = prepared->source.name;
    const status_t status = prepared->output.Exchange(leaf.c_str(), &displaced);
    if (status != B_OK) {
        return status;
    }
    // The exchange changed the displaced entry's change time; its inode still tells.
    FileIdentity out;
    const bool isSource = IdentityAt(displaced, &out) == B_OK && out.SameFile(prepared->identity) &&
                          out.size == prepared->identity.size;
    if (isSource && DisposeOf(displaced, *prepared, disposal, outcome) == B_OK) {
        outcome->output = prepared->output.CommittedPath();
        return B_OK;
    }
    if (!isSource) {
        outcome->warnings.push_back(kChangedMeanwhile);
    }
    if (prepared->output.UndoExchange() != B_OK) {
        // Both files still exist, under the source's name and a hidden one: say where.
        outcome->warnings.push_back("l'original est resté sous le nom " + displaced);
        outcome->output = prepared->output.CommittedPath();
        return B_OK;
    }
    return B_FILE_EXISTS;
}

}  // namespace

FileOutcome PlaceFile(PreparedFile* prepared, const OutputFormat& format,
                      const ConversionOptions& options) {
    FileOutcome outcome = prepared->outcome;
    SourceDisposal disposal = options.disposal;
    if (disposal != SourceDisposal::Keep && prepared->damaged) {
        outcome.warnings.push_back("original conservé car il est endommagé");
        disposal = SourceDisposal::Keep;
    }
    if (disposal != SourceDisposal::Keep && !SourceUnchanged(*prepared)) {
        if (!SourceGone(*prepared)) {
            outcome.warnings.push_back(kChangedMeanwhile);
        }
        disposal = SourceDisposal::Keep;
    }

    BDirectory parent(prepared->source.directory.c_str());
    const std::string& leaf = prepared->source.name;
    // With trash or erase the source's own name counts as free: the source leaves it.
    bool sourceNameFree = disposal != SourceDisposal::Keep;
    bool disposed = false;
    bool trashedFirst = false;
    status_t status = B_FILE_EXISTS;
    for (int attempt = 0; attempt < kNamingAttempts && status == B_FILE_EXISTS; ++attempt) {
        ClearErrorReason();
        const NewFileNameResult name =
            ChooseNewFileName(&parent, leaf.c_str(), prepared->type.c_str(), format.extension,
                              options.removeOldExtension, options.addNewExtension,
                              sourceNameFree ? leaf.c_str() : nullptr);
        if (!name.isFree) {
            return Failure(std::move(outcome), B_FILE_EXISTS,
                           "aucun nom libre pour le fichier converti");
        }
        if (sourceNameFree && name.name == leaf) {
            status = ReplaceSource(prepared, disposal, &outcome);
            if (status == B_OK) {
                disposed = true;
                break;
            }
            if (status == B_FILE_EXISTS) {
                sourceNameFree = false;
                disposal = SourceDisposal::Keep;
                continue;
            }
            if (status != B_UNSUPPORTED) {
                break;
            }
            // A file system that cannot exchange: the source is checked just before it goes.
            if (!SourceUnchanged(*prepared)) {
                outcome.warnings.push_back(kChangedMeanwhile);
                sourceNameFree = false;
                disposal = SourceDisposal::Keep;
                status = B_FILE_EXISTS;
                continue;
            }
            if (disposal == SourceDisposal::Erase) {
                status = prepared->output.Replace(leaf.c_str());
                disposed = status == B_OK;
                if (disposed) {
                    outcome.output = prepared->output.CommittedPath();
                }
                break;
            }
            if (DisposeOf(prepared->source.Path(), *prepared, disposal, &outcome) != B_OK) {
                sourceNameFree = false;
                disposal = SourceDisposal::Keep;
                status = B_FILE_EXISTS;
                continue;
            }
            disposed = true;
            trashedFirst = true;
            sourceNameFree = false;  // truly free now: the source has left it
        }
        status = prepared->output.Commit(name.name.c_str());
        if (status == B_OK) {
            outcome.output = prepared->output.CommittedPath();
        }
    }
    if (status != B_OK) {
        outcome = Failure(std::move(outcome), status, "impossible de nommer le fichier converti");
        if (trashedFirst) {
            outcome.reason += " ; l'original est dans la corbeille";
        }
        return outcome;
    }

    if (disposal != SourceDisposal::Keep && !disposed) {
        // The output is in place: now the source may go, if it is still the file decoded.
        if (SourceUnchanged(*prepared)) {
            DisposeOf(prepared->source.Path(), *prepared, disposal, &outcome);
        } else if (!SourceGone(*prepared)) {
            outcome.warnings.push_back(kChangedMeanwhile);
        }
    }
    prepared->sourceFile.Unset();
    return outcome;
}

}  // namespace orv
