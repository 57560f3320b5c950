// SPDX-License-Identifier: MIT
// The program's arguments: which way in the user chose, and the options of each.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "conversion/ConvertFile.h"
#include "platform/support/Message.h"
#include "platform/support/SupportDefs.h"

namespace orv::cli {

enum class CommandKind {
    Window,    // orvane [FILE|FOLDER ...]
    AddOn,     // orvane --add-on FILE ...
    Convert,   // orvane convert --to FORMAT ...
    Formats,   // orvane formats
    Settings,  // orvane settings FORMAT [KEY=VALUE ...]
    Help,
    Version,
};

struct ConvertRequest {
    std::string format;  // as typed: a name, a MIME type or an extension
    bool filterGiven = false;
    // The form as the command line sets it: unlike the window's, it keeps the sources
    // unless told otherwise. `options.format` is not used: `format` names it.
    ConversionOptions options;
    std::vector<std::string> paths;
};

struct SettingsRequest {
    std::string format;
    std::vector<std::pair<std::string, std::string>> changes;  // KEY, VALUE as typed
};

struct Command {
    CommandKind kind = CommandKind::Window;
    std::vector<std::string> paths;  // Window, AddOn
    ConvertRequest convert;
    SettingsRequest settings;
};

struct ParseResult {
    Command command;
    std::string error;  // French; not empty for a usage error

    bool ok() const { return error.empty(); }
};

// `args` without the program's name.
ParseResult ParseCommandLine(std::span<const std::string> args);

// The filter menu position named by `text`: a number 0 to 11, a label, or a prefix of
// exactly one label, without regard to case or French accents. Nothing with a reason.
struct FilterLookup {
    std::optional<int32> index;
    std::string error;
};
FilterLookup FindFilter(std::string_view text);

// Lower-cases ASCII letters and takes the accents off the French letters, so that what is
// typed on a keyboard without them still matches a label.
std::string FoldForMatch(std::string_view text);

// The paths of the command line as entry_refs, under "refs" of a message `what`; the paths
// that name no entry at all go to `unusable`, in order.
BMessage RefsFromPaths(uint32 what, const std::vector<std::string>& paths,
                       std::vector<std::string>* unusable);

// The help the program prints for --help and after a usage error.
std::string UsageText();

}  // namespace orv::cli
