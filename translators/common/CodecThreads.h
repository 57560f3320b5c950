// SPDX-License-Identifier: MIT
// How many threads a codec library may keep busy for one picture.
#pragma once

#include <algorithm>
#include <thread>

namespace orv {

// A run already converts one file per core at once, so a codec taking every core for its
// own picture would make cores × cores threads contend for them. Two threads let a lone
// large picture use a second core, and keep a full run within twice as many threads as
// cores.
inline int CodecThreadCount() {
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 2u));
}

}  // namespace orv
