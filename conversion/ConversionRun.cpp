// SPDX-License-Identifier: MIT
#include "conversion/ConversionRun.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "conversion/ConvertFile.h"
#include "conversion/MemoryBudget.h"

namespace orv {

namespace {

// How far the workers may run ahead of the files placed: each prepared file holds an open
// source and a finished output on the disk until its turn comes.
constexpr size_t kLookaheadPerWorker = 2;

// The files prepared by the workers, waiting for their turn.
class PreparedQueue {
public:
    PreparedQueue(size_t count, size_t lookahead) : fSlots(count), fLookahead(lookahead) {}

    // The next index for a worker, or false when the run is over or stopping. Waits while
    // the workers are too far ahead of the files placed.
    bool Claim(size_t* index) {
        std::unique_lock lock(fLock);
        fChanged.wait(lock, [&] {
            return fStopping || fNext >= fSlots.size() || fNext < fPlaced + fLookahead;
        });
        if (fStopping || fNext >= fSlots.size()) {
            return false;
        }
        *index = fNext++;
        return true;
    }

    void Deliver(size_t index, std::unique_ptr<PreparedFile> prepared) {
        {
            std::lock_guard lock(fLock);
            fSlots[index] = std::move(prepared);
        }
        fChanged.notify_all();
    }

    // Waits for file `index` and takes it.
    std::unique_ptr<PreparedFile> Take(size_t index) {
        std::unique_lock lock(fLock);
        fChanged.wait(lock, [&] { return fSlots[index] != nullptr; });
        return std::move(fSlots[index]);
    }

    void Placed(size_t count) {
        {
            std::lock_guard lock(fLock);
            fPlaced = count;
        }
        fChanged.notify_all();
    }

    void Stop() {
        {
            std::lock_guard lock(fLock);
            fStopping = true;
        }
        fChanged.notify_all();
    }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<std::unique_ptr<PreparedFile>> fSlots;
    const size_t fLookahead;
    size_t fNext = 0;
    size_t fPlaced = 0;
    bool fStopping = false;
};

}  // namespace

int EffectiveJobs(int jobs) {
    if (jobs > 0) {
        return jobs;
    }
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

size_t RunConversion(const std::vector<entry_ref>& files, const RunSettings& settings,
                     const std::function<void(size_t, const FileOutcome&)>& fileDone,
                     const std::function<bool()>& stopRequested) {
    const size_t jobs = std::min(size_t(EffectiveJobs(settings.jobs)), files.size());
    MemoryBudget budget(settings.memoryBudget != 0 ? settings.memoryBudget
                                                   : MemoryBudget::DefaultBytes());
    const auto prepare = [&](size_t index) {
        return PrepareFile(files[index], *settings.format, settings.options, settings.roster,
                           &budget);
    };
    const auto place = [&](size_t index, std::unique_ptr<PreparedFile> prepared) {
        FileOutcome outcome = prepared->outcome.status == B_OK
                                  ? PlaceFile(prepared.get(), *settings.format, settings.options)
                                  : prepared->outcome;
        prepared.reset();
        fileDone(index, outcome);
    };

    if (jobs <= 1) {
        size_t index = 0;
        for (; index < files.size() && !stopRequested(); ++index) {
            place(index, prepare(index));
        }
        return index;
    }

    PreparedQueue queue(files.size(), jobs * kLookaheadPerWorker);
    std::vector<std::thread> workers;
    for (size_t i = 0; i < jobs; ++i) {
        workers.emplace_back([&] {
            size_t index = 0;
            while (queue.Claim(&index)) {
                queue.Deliver(index, prepare(index));
            }
        });
    }
    size_t index = 0;
    for (; index < files.size(); ++index) {
        if (stopRequested()) {
            break;
        }
        place(index, queue.Take(index));
        queue.Placed(index + 1);
    }
    // Files prepared but not placed are dropped here: their outputs have no name yet.
    queue.Stop();
    for (std::thread& worker : workers) {
        worker.join();
    }
    return index;
}

}  // namespace orv
