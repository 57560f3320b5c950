// SPDX-License-Identifier: MIT
// `orvane convert`: the window's form and run, driven as a user would drive them, on the
// headless display.
#pragma once

#include "app/CommandLine.h"

class BTranslatorRoster;

namespace orv::cli {

// Returns the exit status: 0 when every file was converted, 1 when some failed, 2 when the
// format is unknown.
int RunConvert(BTranslatorRoster* roster, const ConvertRequest& request);

// "3 fichiers convertis sur 4, 1 en échec" and its singular forms.
std::string Summary(int32 count, int32 failed);

}  // namespace orv::cli
