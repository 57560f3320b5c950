// SPDX-License-Identifier: MIT
// The output format catalogue: every picture format that the installed translators can
// write, one entry per translator and format, in the roster's order.
#pragma once

#include <string>
#include <vector>

#include "platform/support/Message.h"
#include "platform/translation/TranslationDefs.h"

class BTranslatorRoster;

struct OutputFormat {
    translator_id translator = 0;
    uint32 type = 0;        // the wanted output type of the encoder
    std::string name;       // the menu label
    std::string MIME;       // the type given to the output file
    std::string extension;  // "." and the type's first known extension, or empty
    // The translator's configuration, asked of the roster when its settings are first
    // shown, so that building the catalogue loads no add-on.
    BMessage settings;
};

namespace orv {

// A format qualifies when it is a picture format (group 'bits') other than the bitmap
// interchange format itself.
bool IsCatalogueFormat(const translation_format& format);

// Builds the catalogue from `roster`: translators in roster order, each one's qualifying
// output formats in its own order; nothing sorted, merged or removed.
std::vector<OutputFormat> BuildOutputFormats(BTranslatorRoster* roster);

}  // namespace orv
