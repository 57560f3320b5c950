// SPDX-License-Identifier: MIT
// The reason behind the last failure on this thread, in French, for the user.
//
// The platform layer's calls answer with a bare status_t; a user who sees "3 fichiers en échec"
// needs to know why. Like errno, each thread keeps the text of its latest failure: a call
// that fails sets it, and the caller that reports the failure reads it right after.
#pragma once

#include <string>
#include <string_view>

#include "platform/support/SupportDefs.h"

namespace orv {

// Records why the current operation failed and returns `status`, so a failing call can
// end with `return orv::Fail(B_BAD_DATA, "en-tête PNG illisible");`.
status_t Fail(status_t status, std::string_view reason);

// Sets the reason without a status.
void SetErrorReason(std::string_view reason);

// The latest reason recorded on this thread (empty when none).
const std::string& ErrorReason();

// The latest reason, or the text of `status` when no reason was recorded.
std::string ErrorReasonOr(status_t status);

void ClearErrorReason();

}  // namespace orv
