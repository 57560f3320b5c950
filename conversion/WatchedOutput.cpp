// SPDX-License-Identifier: MIT
#include "conversion/WatchedOutput.h"

#include "platform/support/ErrorReason.h"

namespace orv {

template <typename Result>
Result WatchedOutput::Watch(Result result) {
    if (result < 0 && fFailure.empty()) {
        fFailure = ErrorReasonOr(status_t(result));
    }
    return result;
}

ssize_t WatchedOutput::Read(void* buffer, size_t size) {
    ClearErrorReason();
    return Watch(fFile.Read(buffer, size));
}

ssize_t WatchedOutput::Write(const void* buffer, size_t size) {
    ClearErrorReason();
    return Watch(fFile.Write(buffer, size));
}

ssize_t WatchedOutput::ReadAt(off_t position, void* buffer, size_t size) {
    ClearErrorReason();
    return Watch(fFile.ReadAt(position, buffer, size));
}

ssize_t WatchedOutput::WriteAt(off_t position, const void* buffer, size_t size) {
    ClearErrorReason();
    return Watch(fFile.WriteAt(position, buffer, size));
}

off_t WatchedOutput::Seek(off_t position, uint32 seekMode) {
    return fFile.Seek(position, seekMode);
}

status_t WatchedOutput::SetSize(off_t size) {
    ClearErrorReason();
    return Watch(fFile.SetSize(size));
}

status_t WatchedOutput::Flush() {
    ClearErrorReason();
    return Watch(fFile.Flush());
}

std::string WatchedOutput::WithCause(const std::string& reason) const {
    if (fFailure.empty() || reason.find(fFailure) != std::string::npos) {
        return reason;
    }
    return reason.empty() ? fFailure : reason + " : " + fFailure;
}

}  // namespace orv
