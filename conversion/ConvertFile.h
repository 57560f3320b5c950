// SPDX-License-Identifier: MIT
// One file of a conversion run, from its source to its output beside it, in two halves.
//
// PrepareFile, which any thread may run, decodes the source (held open from then on),
// filters, scales and smooths every frame it keeps, and encodes them into a new file that has
// no name yet in the source's folder, synced to the disk. PlaceFile, run in list order,
// names that file without replacing anything and only then disposes of the source, after
// checking that the source's name still leads to the file that was decoded. A failure at
// any step leaves the source where it was and no output or temporary behind.
#pragma once

#include <memory>
#include <string>

#include "conversion/ConversionOptions.h"
#include "conversion/OutputFormat.h"
#include "platform/storage/File.h"
#include "platform/storage/FileIdentity.h"
#include "platform/storage/SafeWrite.h"
#include "platform/support/EntryRef.h"

class BTranslatorRoster;

namespace orv {

class MemoryBudget;

struct PreparedFile {
    FileOutcome outcome;  // a failure here means there is nothing to place
    entry_ref source;
    BFile sourceFile;       // held open until the source is disposed of
    FileIdentity identity;  // of the source's entry when it was opened
    std::string type;       // the source's MIME type, empty when unknown
    bool damaged = false;   // decoding met damage: the source must stay
    SafeWrite output;
};

// Decodes `ref`, applies the options and encodes as `format` through `roster` (decoding
// goes through the default roster). `budget`, when given, bounds the memory of the pictures
// in flight.
std::unique_ptr<PreparedFile> PrepareFile(const entry_ref& ref, const OutputFormat& format,
                                          const ConversionOptions& options,
                                          BTranslatorRoster* roster, MemoryBudget* budget);

// Names the prepared output and disposes of the source; returns what became of the file.
FileOutcome PlaceFile(PreparedFile* prepared, const OutputFormat& format,
                      const ConversionOptions& options);

// Both halves in turn, for one file alone.
FileOutcome ConvertFile(const entry_ref& ref, const OutputFormat& format,
                        const ConversionOptions& options, BTranslatorRoster* roster);

}  // namespace orv
