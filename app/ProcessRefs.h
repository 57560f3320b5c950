// SPDX-License-Identifier: MIT
// The file manager's action: hands a selection to the running program (starting it when
// none runs) with the add-on marker, so that the program quits after that one run.
#pragma once

#include "platform/support/EntryRef.h"
#include "platform/support/Message.h"

// The entry a file manager calls, with the folder it shows (unused) and a message whose
// "refs" hold the selection. It reports nothing: a file manager has nowhere to show it.
extern "C" __attribute__((visibility("default"))) void process_refs(entry_ref directory,
                                                                    BMessage* message,
                                                                    void* reserved);

namespace orv {

// The steps of process_refs, with the outcome: B_OK once the running program has queued
// the file list, else the failure of the send (its reason set). `orvane --add-on` uses it
// so that a selection that never arrived does not end with a success status.
status_t HandOverFromAddOn(BMessage* message);

}  // namespace orv
