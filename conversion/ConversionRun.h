// SPDX-License-Identifier: MIT
// A conversion run over a list of files: several files decoded, processed and encoded at
// once by a pool of workers, while everything a user sees happens in list order on the
// caller's thread, exactly as in a run that takes one file after another: each output is
// named and each source disposed of in turn, and each file is reported in turn.
#pragma once

#include <functional>
#include <vector>

#include "conversion/ConversionOptions.h"
#include "conversion/OutputFormat.h"
#include "platform/support/EntryRef.h"

class BTranslatorRoster;

namespace orv {

struct RunSettings {
    const OutputFormat* format = nullptr;
    ConversionOptions options;
    BTranslatorRoster* roster = nullptr;  // encodes; decoding uses the default roster
    int jobs = 0;                         // files at once; 0 for as many as the cores
    size_t memoryBudget = 0;              // bytes of pictures in flight; 0 for the default
};

// The number of workers a run uses when asked for `jobs` (0: one per core).
int EffectiveJobs(int jobs);

// Converts `files` in list order. After each file, on the calling thread and in list order,
// `fileDone(index, outcome)` reports it. `stopRequested`, asked on the calling thread before
// each file is placed, ends the run between two files: the files not yet placed are left
// untouched and no output of theirs remains. Returns the number of files reported.
size_t RunConversion(const std::vector<entry_ref>& files, const RunSettings& settings,
                     const std::function<void(size_t, const FileOutcome&)>& fileDone,
                     const std::function<bool()>& stopRequested);

}  // namespace orv
