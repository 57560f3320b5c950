// SPDX-License-Identifier: MIT
#include "platform/support/ErrorReason.h"

namespace orv {

namespace {
thread_local std::string tReason;
}

status_t Fail(status_t status, std::string_view reason) {
    tReason.assign(reason);
    return status;
}

status_t FailWithCause(status_t status, std::string_view what) {
    tReason.assign(what);
    if (status != B_ERROR && status != B_OK) {
        tReason += " : ";
        tReason += StatusText(status);
    }
    return status;
}

void SetErrorReason(std::string_view reason) {
    tReason.assign(reason);
}

const std::string& ErrorReason() {
    return tReason;
}

std::string ErrorReasonOr(status_t status) {
    if (!tReason.empty()) {
        return tReason;
    }
    return StatusText(status);
}

void ClearErrorReason() {
    tReason.clear();
}

}  // namespace orv
