// SPDX-License-Identifier: MIT
// Exiv2's set-up, for every part that reads or writes metadata blocks with it. Exiv2's
// XMP toolkit is global: it must be initialised once, with a lock, before any thread parses
// a block (an EXIF block holding an XMP packet is enough). Whichever caller comes first
// installs its lock; later initialisations change nothing.
#pragma once

#include <exiv2/exiv2.hpp>

#include <mutex>

namespace orv {

inline void InitialiseExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        static std::mutex lock;
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(
            [](void* data, bool locking) {
                auto* mutex = static_cast<std::mutex*>(data);
                if (locking) {
                    mutex->lock();
                } else {
                    mutex->unlock();
                }
            },
            &lock);
    });
}

}  // namespace orv
