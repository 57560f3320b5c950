// SPDX-License-Identifier: MIT
// One file of a conversion run, from its source to its output beside it.
//
// The output is written first, to an exclusive temporary in the source's folder, and synced;
// only then is the source trashed, the name chosen and the temporary renamed to it without
// replacing anything; an erased source goes last. A failure at any step leaves the source
// where it was (or, once trashed, in the trash) and no output or temporary behind.
#pragma once

#include <string>

#include "conversion/OutputFormat.h"
#include "platform/support/EntryRef.h"
#include "platform/support/SupportDefs.h"

class BTranslatorRoster;

namespace orv {

enum class SourceDisposal { Keep, Trash, Erase };

// The options of a run, as read from the form at its start.
struct ConversionOptions {
    int32 format = -1;  // the output format's catalogue position, -1 for none
    int32 filter = 0;   // the filter menu's position (FilterIndex)
    bool resize = false;
    std::string width;
    std::string height;
    bool keepRatio = true;
    bool smooth = false;
    SourceDisposal disposal = SourceDisposal::Keep;
    bool removeOldExtension = true;
    bool addNewExtension = true;
};

struct FileOutcome {
    status_t status = B_OK;
    std::string reason;   // why the file failed (status != B_OK)
    std::string warning;  // converted, but something was left undone
    std::string output;   // the output's path once written
};

// Converts the file `ref` names to `format`, encoding through `roster` (decoding goes
// through the default roster). `options.format` is not read.
FileOutcome ConvertFile(const entry_ref& ref, const OutputFormat& format,
                        const ConversionOptions& options, BTranslatorRoster* roster);

}  // namespace orv
