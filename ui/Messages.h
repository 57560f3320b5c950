// SPDX-License-Identifier: MIT
// The program's own message codes.
#pragma once

#include "platform/support/SupportDefs.h"

enum : uint32 {
    // "Convertir": run the conversion over the held file list.
    MSG_CONVERT = 20,
    // "Avancé": open the settings window of the marked output format.
    MSG_ADVANCED = 30,
    // A file list: entry_refs under "refs", and the bool "CalledFromAddOn" when it came from
    // the file manager's action.
    MSG_FILES = 50,
    // Sent to the window's run observer when a run has ended (see OrvWindow::SetRunObserver).
    MSG_RUN_DONE = FourCC("ORrd"),
};
