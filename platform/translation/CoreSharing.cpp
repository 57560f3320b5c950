// SPDX-License-Identifier: MIT
#include "platform/translation/CoreSharing.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace orv {

namespace {

std::atomic<bool> sEveryCoreBusy{false};

}  // namespace

bool EveryCoreHasAPicture() {
    return sEveryCoreBusy.load(std::memory_order_relaxed);
}

CoreSharing::CoreSharing(size_t files)
    : fBefore(sEveryCoreBusy.exchange(files >= std::max(1u, std::thread::hardware_concurrency()),
                                      std::memory_order_relaxed)) {}

CoreSharing::~CoreSharing() {
    sEveryCoreBusy.store(fBefore, std::memory_order_relaxed);
}

}  // namespace orv
