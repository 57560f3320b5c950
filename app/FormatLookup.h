// SPDX-License-Identifier: MIT
// Which output format the user names on the command line.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "conversion/OutputFormat.h"

namespace orv::cli {

struct FormatLookup {
    std::optional<int32> index;  // position in the catalogue (and in the format menu)
    std::string error;           // French, when nothing or too much matched
};

// `text` is a catalogue name, a MIME type or an extension (with or without its dot, any of
// the type's extensions), without regard to case. A name wins over a type, a type over an
// extension; when several entries of the catalogue share a type, the first is taken, as
// the roster picks the translator for that type anyway.
FormatLookup FindFormat(std::span<const OutputFormat> catalogue, std::string_view text);

}  // namespace orv::cli
