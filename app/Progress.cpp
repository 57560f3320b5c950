// SPDX-License-Identifier: MIT
#include "app/Progress.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

#include "app/CatalogueCommands.h"

namespace orv::cli {

namespace {

constexpr int kLongestBar = 30;
constexpr int kShortestBar = 5;
// When the terminal does not tell its width.
constexpr int kDefaultColumns = 80;

// The pipe a SIGWINCH handler writes one byte to, for the watching thread.
std::atomic<int> gResizeSignalled{-1};

void OnResize(int) {
    const int fd = gResizeSignalled.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
}

}  // namespace

int TerminalColumns(int fd) {
    winsize size{};
    if (fd < 0 || ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

std::string ProgressLine(int32 done, int32 total, int columns) {
    const std::string count = std::to_string(done) + "/" + std::to_string(total);
    const std::string counted = count + " fichiers traités";
    const int room = columns - int(DisplayWidth(counted)) - 3;  // "[", "] "
    if (room >= kShortestBar) {
        const int width = std::min(room, kLongestBar);
        const int64 filled = total > 0 ? int64(done) * width / total : 0;
        std::string bar(size_t(filled), '#');
        bar.append(size_t(width - filled), '.');
        return "[" + bar + "] " + counted;
    }
    if (int(DisplayWidth(counted)) <= columns) {
        return counted;
    }
    return int(count.size()) <= columns ? count : count.substr(0, size_t(std::max(columns, 0)));
}

Progress::Progress(std::FILE* out, int terminal) : fOut(out), fTerminal(terminal) {}

Progress::~Progress() {
    if (fWatcher.joinable()) {
        const int signalled = gResizeSignalled.exchange(-1);
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = write(fStopWatching, &byte, 1);
        fWatcher.join();
        close(fStopWatching);
        close(signalled);
    }
}

void Progress::Update(int32 done, int32 total, const std::string& file) {
    std::lock_guard lock(fLock);
    if (total <= 0 || (done == fShownDone && total == fShownTotal)) {
        return;
    }
    fShownDone = done;
    fShownTotal = total;
    if (fTerminal < 0) {
        std::fprintf(fOut, "%d/%d fichiers traités%s%s\n", done, total, file.empty() ? "" : " : ",
                     file.c_str());
        std::fflush(fOut);
        return;
    }
    Draw();
}

void Progress::Redraw() {
    std::lock_guard lock(fLock);
    if (fLineOpen) {
        Draw();
    }
}

void Progress::Draw() {
    const int columns = TerminalColumns(fTerminal);
    // The last column is left free: a line that fills it makes some terminals wrap at once.
    const std::string line =
        ProgressLine(fShownDone, fShownTotal, (columns > 0 ? columns : kDefaultColumns) - 1);
    // A terminal that grew narrower may have wrapped the line shown before onto several
    // rows: go up to its first row before drawing over it.
    std::string start = "\r";
    if (columns > 0 && fLineOpen && fShownWidth > size_t(columns)) {
        start += "\033[" + std::to_string((fShownWidth - 1) / size_t(columns)) + "A";
    }
    // \033[J clears what a longer earlier line left behind, on its row and below.
    std::fprintf(fOut, "%s%s\033[J", start.c_str(), line.c_str());
    std::fflush(fOut);
    fShownWidth = DisplayWidth(line);
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

void Progress::WatchResizes() {
    if (fTerminal < 0 || fWatcher.joinable()) {
        return;
    }
    int resized[2];
    int stop[2];
    if (pipe2(resized, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    if (pipe2(stop, O_CLOEXEC) != 0) {
        close(resized[0]);
        close(resized[1]);
        return;
    }
    gResizeSignalled.store(resized[1]);
    fStopWatching = stop[1];
    struct sigaction action = {};
    action.sa_handler = OnResize;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGWINCH, &action, nullptr);
    fWatcher = std::thread([this, resizes = resized[0], stopped = stop[0]] {
        pollfd fds[2] = {{resizes, POLLIN, 0}, {stopped, POLLIN, 0}};
        while (poll(fds, 2, -1) >= 0 || errno == EINTR) {
            if ((fds[1].revents & (POLLIN | POLLHUP)) != 0) {
                break;
            }
            if ((fds[0].revents & POLLIN) != 0) {
                char bytes[64];
                while (read(resizes, bytes, sizeof bytes) > 0) {
                }
                Redraw();
            }
        }
        close(resizes);
        close(stopped);
    });
}

}  // namespace orv::cli
