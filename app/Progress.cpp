// SPDX-License-Identifier: MIT
#include "app/Progress.h"

#include <string>

namespace orv::cli {

namespace {

constexpr int32 kBarWidth = 30;

}  // namespace

Progress::Progress(std::FILE* out, bool interactive) : fOut(out), fInteractive(interactive) {}

void Progress::Update(int32 done, int32 total) {
    std::lock_guard lock(fLock);
    if (total <= 0 || (done == fShownDone && total == fShownTotal)) {
        return;
    }
    fShownDone = done;
    fShownTotal = total;
    if (!fInteractive) {
        std::fprintf(fOut, "%d/%d fichiers traités\n", done, total);
        std::fflush(fOut);
        return;
    }
    const int64 filled = int64(done) * kBarWidth / total;
    std::string bar(size_t(filled), '#');
    bar.append(size_t(kBarWidth - filled), '.');
    // \033[K clears what a longer earlier line left behind.
    std::fprintf(fOut, "\r[%s] %d/%d fichiers traités\033[K", bar.c_str(), done, total);
    std::fflush(fOut);
    fLineOpen = true;
}

void Progress::Finish() {
    std::lock_guard lock(fLock);
    if (fLineOpen) {
        std::fputc('\n', fOut);
        std::fflush(fOut);
        fLineOpen = false;
    }
}

}  // namespace orv::cli
