// SPDX-License-Identifier: MIT
// Who the program on top of the platform layer is: the name the layer gives to what it
// makes for the program (its folders, its hidden temporary files, its application on the
// desktop) and the prefix of the environment variables it reads for it.
//
// The program hands its identity over once, at start-up, before the layer makes anything;
// until then the layer goes by the executable's own file name.
#pragma once

#include <string>

namespace orv {

struct ProgramIdentity {
    // A short lower-case name fit for a file name. It names the settings folder
    // ~/.config/NAME, the user's add-on folder ~/.local/lib/NAME, the socket folder
    // /tmp/NAME-UID, the hidden temporaries .NAME-XXXXXX and the application on the desktop.
    std::string name;
    // What the variables that steer the layer start with: PREFIX_TRANSLATORS (translator
    // folders read first) and PREFIX_EXECUTABLE (the program a launch starts).
    std::string environmentPrefix;
    // The installed translator folder, relative to the folder above the executable's.
    std::string installedTranslators;
};

// From the program's start, before any other call of the layer.
void SetProgramIdentity(ProgramIdentity identity);
// The identity handed over, or one made from the executable's file name.
ProgramIdentity CurrentProgramIdentity();

// The value of the variable PREFIX_`suffix`, or nullptr when it is not set.
const char* ProgramEnvironment(const char* suffix);

}  // namespace orv
