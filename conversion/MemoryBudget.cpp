// SPDX-License-Identifier: MIT
#include "conversion/MemoryBudget.h"

#include <unistd.h>

#include <algorithm>

namespace orv {

MemoryBudget::MemoryBudget(size_t bytes) : fTotal(std::max<size_t>(bytes, 1)) {}

size_t MemoryBudget::DefaultBytes() {
    // A quarter of the physical memory leaves the rest to the desktop and the codecs' own
    // buffers; 512 MB when the system does not say.
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return size_t(512) << 20;
    }
    return size_t(pages) / 4 * size_t(pageSize);
}

size_t MemoryBudget::Acquire(size_t bytes) {
    std::unique_lock lock(fLock);
    if (bytes >= fTotal) {
        // Alone: wait for everything else to finish, then take the whole budget.
        fFreed.wait(lock, [this] { return fUsed == 0; });
        fUsed = fTotal;
        return fTotal;
    }
    fFreed.wait(lock, [&] { return fUsed + bytes <= fTotal; });
    fUsed += bytes;
    return bytes;
}

void MemoryBudget::Release(size_t bytes) {
    {
        std::lock_guard lock(fLock);
        fUsed -= std::min(bytes, fUsed);
    }
    fFreed.notify_all();
}

}  // namespace orv
