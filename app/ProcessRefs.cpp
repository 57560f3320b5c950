// SPDX-License-Identifier: MIT
#include "app/ProcessRefs.h"

#include <string>

#include "app/AppInfo.h"
#include "app/Identity.h"
#include "platform/application/Messenger.h"
#include "platform/application/Roster.h"
#include "platform/support/ErrorReason.h"
#include "ui/Messages.h"

namespace orv {

status_t HandOverFromAddOn(BMessage* message) {
    message->AddBool("CalledFromAddOn", true);
    // An instance already running is fine: the program is single-launch, and the send
    // below reaches whichever instance answers.
    const status_t launched = be_roster->Launch(kAppSignature);
    const std::string launchReason =
        launched != B_OK && launched != B_ALREADY_RUNNING ? ErrorReasonOr(launched) : "";
    BMessenger messenger(kAppSignature, -1);
    message->what = MSG_FILES;
    const status_t sent = messenger.SendMessage(message, nullptr, B_INFINITE_TIMEOUT);
    if (sent != B_OK && !launchReason.empty()) {
        // Why the program never came up says more than the send that followed.
        return Fail(sent, launchReason);
    }
    return sent;
}

}  // namespace orv

void process_refs(entry_ref /*directory*/, BMessage* message, void* /*reserved*/) {
    // The file manager calls this in a process of its own, where main() never ran.
    orv::SetProgramIdentity(orv::OrvaneIdentity());
    orv::HandOverFromAddOn(message);
}
