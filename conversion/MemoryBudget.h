// SPDX-License-Identifier: MIT
// How much picture memory the files in flight of a run may hold at once. A worker reserves
// what its picture will need before it decodes the pixels and gives it back when the
// output is written; a picture that needs more than the whole budget waits until nothing
// else is in flight and then runs alone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace orv {

class MemoryBudget {
public:
    explicit MemoryBudget(size_t bytes);

    // A share of this machine's memory, for a run that was given no budget.
    static size_t DefaultBytes();

    // Blocks until `bytes` fit, then holds them; returns what it holds (the whole budget
    // for a picture larger than it).
    size_t Acquire(size_t bytes);
    void Release(size_t bytes);

    // Holds what Acquire took for one scope.
    class Hold {
    public:
        Hold() = default;
        Hold(MemoryBudget* budget, size_t bytes)
            : fBudget(budget), fBytes(budget != nullptr ? budget->Acquire(bytes) : 0) {}
        ~Hold() { Reset(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&& other) noexcept {
            Reset();
            fBudget = other.fBudget;
            fBytes = other.fBytes;
            other.fBudget = nullptr;
            return *this;
        }
        void Reset() {
            if (fBudget != nullptr) {
                fBudget->Release(fBytes);
                fBudget = nullptr;
            }
        }

    private:
        MemoryBudget* fBudget = nullptr;
        size_t fBytes = 0;
    };

private:
    std::mutex fLock;
    std::condition_variable fFreed;
    const size_t fTotal;
    size_t fUsed = 0;
};

}  // namespace orv
