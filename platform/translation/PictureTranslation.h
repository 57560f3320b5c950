// SPDX-License-Identifier: MIT
// Reading and writing whole pictures, frames and metadata included, through the roster.
//
// The roster chooses the translator exactly as for Translate: the one that reads the file
// best, and the one that writes the wanted type best. A translator of this process is
// reached directly, so pixels go from the codec to the caller's bitmaps and back without a
// copy; any other translator is reached through the bitmap interchange stream, which carries
// one frame and no metadata.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv {

class TranslatorSettings;

// A reader open on `source`, from the translator the roster picks to read it (a null
// roster is the default one). `hintMIME`, the file's type when known, lets the roster load
// the translators that read that type first. The stream must outlive the reader.
status_t OpenPicture(BPositionIO& source, BTranslatorRoster* roster,
                     std::unique_ptr<PictureReader>* reader, const char* hintMIME = nullptr);

// The writer the roster picks for `type`, and what the run needs to know of it.
struct PictureOutput {
    std::unique_ptr<PictureWriter> writer;
    WriterTraits traits;
    // The writer's settings, or null for a translator that keeps none of ours.
    const TranslatorSettings* settings = nullptr;
};

// Opens a writer of `type` into `destination` (which must outlive it).
status_t OpenPictureWriter(BTranslatorRoster* roster, uint32 type, BPositionIO& destination,
                           PictureOutput* output);

}  // namespace orv
