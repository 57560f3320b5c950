// SPDX-License-Identifier: MIT
#include "platform/interface/DisplayBackend.h"

#include <mutex>

#include "platform/interface/InputMessage.h"

namespace orv {

namespace {

std::mutex sDisplayLock;
std::shared_ptr<DisplayBackend> sDisplay;

}  // namespace

void DisplayBackend::Notify(WindowId window, const DesktopNotice& /*notice*/) {
    [[maybe_unused]] const status_t status = PostNoticeOutcome(window, NoticeOutcome::Unavailable);
}

void SetDisplayBackend(std::shared_ptr<DisplayBackend> backend) {
    std::lock_guard lock(sDisplayLock);
    sDisplay = std::move(backend);
}

std::shared_ptr<DisplayBackend> CurrentDisplayBackend() {
    std::lock_guard lock(sDisplayLock);
    if (sDisplay == nullptr) {
        sDisplay = MakeDefaultDisplayBackend();
    }
    return sDisplay;
}

}  // namespace orv
