// SPDX-License-Identifier: MIT
// The options of a run, as the form gives them at its start, and what became of each file.
#pragma once

#include <string>
#include <vector>

#include "platform/support/SupportDefs.h"

namespace orv {

enum class SourceDisposal { Keep, Trash, Erase };

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
    // For one run, whatever the writer's setting: no EXIF, XMP or IPTC in the outputs.
    bool stripMetadata = false;
};

struct FileOutcome {
    status_t status = B_OK;
    std::string reason;                 // why the file failed (status != B_OK)
    std::vector<std::string> warnings;  // converted, but something was left undone
    std::string output;                 // the output's path once written
    // The file is no picture at all (no translator reads it, or it is empty): a folder
    // walk skips such files rather than count them as failures.
    bool notAPicture = false;
};

}  // namespace orv
