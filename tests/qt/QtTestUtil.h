// SPDX-License-Identifier: MIT
// What the Qt tests share: running Qt's events while waiting for what they bring.
#pragma once

#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>

namespace orv {

// Runs Qt's events until `condition` holds; false after a few seconds.
inline bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        usleep(1000);
    }
    return true;
}

}  // namespace orv
