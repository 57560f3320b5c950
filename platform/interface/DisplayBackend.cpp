// SPDX-License-Identifier: MIT
#include "platform/interface/DisplayBackend.h"

#include <mutex>

namespace orv {

namespace {

std::mutex sDisplayLock;
std::shared_ptr<DisplayBackend> sDisplay;

}  // namespace

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
