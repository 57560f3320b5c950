// SPDX-License-Identifier: MIT
// `orvane formats` and `orvane settings`: the output formats and their translators'
// settings, on standard output.
#pragma once

#include "app/CommandLine.h"

class BTranslatorRoster;

namespace orv::cli {

// Each returns the program's exit status.
int RunFormats(BTranslatorRoster* roster);
int RunSettings(BTranslatorRoster* roster, const SettingsRequest& request);

// Tells on standard error which translator add-ons could not be loaded, and why.
void ReportLoadFailures(const BTranslatorRoster& roster);

// Pads `text` with spaces to `width` characters as a terminal shows them (UTF-8).
std::string PadRight(const std::string& text, size_t width);
size_t DisplayWidth(const std::string& text);

}  // namespace orv::cli
