// SPDX-License-Identifier: MIT
// Who Orvane is to the platform layer: the names of its folders, temporaries and
// environment variables. The program's entries (main and the file manager's process_refs)
// hand it over before anything else, and the test programs do the same.
#pragma once

#include "platform/support/ProgramIdentity.h"

#ifndef ORVANE_TRANSLATOR_SUBDIR
#error "link orv_identity: the build names the installed translator folder"
#endif

namespace orv {

inline ProgramIdentity OrvaneIdentity() {
    return {"orvane", "ORVANE", ORVANE_TRANSLATOR_SUBDIR};
}

}  // namespace orv
