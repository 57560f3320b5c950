// SPDX-License-Identifier: MIT
// `orvane convert`: the window's form and run, driven as a user would drive them, on the
// headless display.
#pragma once

#include "app/CommandLine.h"

class BTranslatorRoster;

namespace orv::cli {

// Returns the exit status: 0 when every picture was converted (files found in a folder that
// are no pictures are skipped), 1 when some failed, 2 when the format is unknown, 130 when
// Ctrl-C stopped the run.
int RunConvert(BTranslatorRoster* roster, const ConvertRequest& request);

// "3 fichiers convertis sur 6, 1 en échec, 2 ignorés" and its singular forms.
std::string Summary(int32 count, int32 failed, int32 skipped);

}  // namespace orv::cli
