// SPDX-License-Identifier: MIT
#include "conversion/ConversionRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "conversion/ConvertFile.h"
#include "conversion/MemoryBudget.h"
#include "platform/support/PictureMemory.h"
#include "platform/translation/CoreSharing.h"

namespace orv {

namespace {

// How far the workers may run ahead of the files placed. Each prepared file holds an open
// source and a finished output on the disk until its turn comes, so the window is bounded;
// but a narrow one stalls the other workers behind one big picture: with two files per
// worker, an 18-megapixel photograph in a folder of small ones left the second core idle for
// half its decoding.
constexpr size_t kLookaheadPerWorker = 16;
constexpr size_t kMaxLookahead = 128;

size_t Lookahead(size_t jobs) {
    return std::max(jobs * 2, std::min(jobs * kLookaheadPerWorker, kMaxLookahead));
}

// What a file weighs for the order in which the workers take them: its size on the disk,
// a rough stand-in for the time it takes. Whatever cannot be read weighs nothing.
std::vector<uint64> SourceSizes(const std::vector<entry_ref>& files) {
    std::vector<uint64> sizes(files.size(), 0);
    for (size_t i = 0; i < files.size(); ++i) {
        struct stat info;
        if (stat(files[i].Path().c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            sizes[i] = uint64(info.st_size);
        }
    }
    return sizes;
}

// The files prepared by the workers, waiting for their turn. Within the window the workers
// take the heaviest file first: a big picture taken last would run alone at the end while
// the other cores wait. The files are still placed in list order, so nothing the user sees
// depends on this order.
class PreparedQueue {
public:
    PreparedQueue(std::vector<uint64> weights, size_t lookahead)
        : fSlots(weights.size()),
          fWeights(std::move(weights)),
          fClaimed(fWeights.size(), false),
          fLookahead(lookahead) {}

    // The next index for a worker, or false when the run is over or stopping. Waits while
    // every file of the window is taken.
    bool Claim(size_t* index) {
        std::unique_lock lock(fLock);
        bool found = false;
        fChanged.wait(lock, [&] {
            found = !fStopping && Heaviest(index);
            return fStopping || found || fUnclaimed == 0;
        });
        if (!found) {
            return false;
        }
        fClaimed[*index] = true;
        fUnclaimed--;
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
    // The heaviest file not yet taken in the window, the first in the list among equals.
    // The file to be placed next is always in the window, so some worker can take it.
    bool Heaviest(size_t* index) const {
        const size_t end = std::min(fSlots.size(), fPlaced + fLookahead);
        bool found = false;
        for (size_t i = fPlaced; i < end; ++i) {
            if (!fClaimed[i] && (!found || fWeights[i] > fWeights[*index])) {
                *index = i;
                found = true;
            }
        }
        return found;
    }

    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<std::unique_ptr<PreparedFile>> fSlots;
    const std::vector<uint64> fWeights;
    std::vector<bool> fClaimed;
    size_t fUnclaimed = fWeights.size();
    const size_t fLookahead;
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
    // The pictures' memory kept for the next ones goes back once the run is over: the window
    // may stay open for hours with nothing to convert.
    struct KeptMemoryRelease {
        ~KeptMemoryRelease() { ReleaseKeptPictureMemory(); }
    } release;
    const CoreSharing sharing(files.size());
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

    PreparedQueue queue(SourceSizes(files), Lookahead(jobs));
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
