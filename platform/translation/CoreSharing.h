// SPDX-License-Identifier: MIT
// What a codec may know of how the run shares the machine's cores between pictures.
#pragma once

#include <cstddef>

namespace orv {

// Whether every core already has a picture of its own: a codec that can split one picture
// across the cores then spends work on the split for nothing. The run decides it from the
// number of files it was given and the machine's cores, never from how many files are being
// converted at the moment, so that a file's bytes do not depend on the pace of the work or
// on how many workers run. False unless a run says otherwise.
bool EveryCoreHasAPicture();

// Says, for as long as it lives, whether a run of `files` files gives every core a picture.
class CoreSharing {
public:
    explicit CoreSharing(size_t files);
    ~CoreSharing();
    CoreSharing(const CoreSharing&) = delete;
    CoreSharing& operator=(const CoreSharing&) = delete;

private:
    bool fBefore;
};

}  // namespace orv
