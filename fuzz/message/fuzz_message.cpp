// SPDX-License-Identifier: MIT
// Unflattens arbitrary bytes; whatever is accepted must flatten back to the very same
// bytes (the form is canonical) and read back again, and its dump must not fail.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/support/Message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BMessage message;
    if (message.Unflatten(data, size) != B_OK) {
        if (!message.IsEmpty()) {
            std::abort();
        }
        return 0;
    }
    std::vector<uint8> flat;
    if (message.Flatten(&flat) != B_OK || flat.size() != size ||
        std::memcmp(flat.data(), data, size) != 0) {
        std::abort();
    }
    BMessage again;
    std::vector<uint8> flatAgain;
    if (again.Unflatten(flat.data(), flat.size()) != B_OK || again.Flatten(&flatAgain) != B_OK ||
        flatAgain != flat) {
        std::abort();
    }
    (void)message.ToString();
    return 0;
}
