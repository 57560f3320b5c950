// SPDX-License-Identifier: MIT
#include "platform/application/InstanceSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/ProgramIdentity.h"

namespace orv {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(bigtime_t micros) {
    return Clock::now() + std::chrono::microseconds(micros);
}

int MillisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : int(std::min<int64>(left.count(), 60'000));
}

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fFd(fd) {}
    ~Fd() {
        if (fFd >= 0) {
            close(fFd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fFd; }
    void Reset(int fd) {
        if (fFd >= 0) {
            close(fFd);
        }
        fFd = fd;
    }
    int Release() {
        int fd = fFd;
        fFd = -1;
        return fd;
    }

private:
    int fFd;
};

// Waits until `fd` is ready for `events` or the deadline passes.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
    while (true) {
        pollfd entry{fd, events, 0};
        int ready = poll(&entry, 1, MillisLeft(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// Reads up to `size` bytes from a non-blocking socket before the deadline; `*got` tells how
// many came. B_OK once all came or the peer closed (then *got < size).
status_t ReadFully(int fd, uint8* buffer, size_t size, Clock::time_point deadline, size_t* got) {
    *got = 0;
    while (*got < size) {
        ssize_t n = recv(fd, buffer + *got, size - *got, 0);
        if (n > 0) {
            *got += size_t(n);
        } else if (n == 0) {
            return B_OK;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(fd, POLLIN, deadline)) {
                return B_TIMED_OUT;
            }
        } else if (errno != EINTR) {
            return B_IO_ERROR;
        }
    }
    return B_OK;
}

status_t WriteFully(int fd, const uint8* data, size_t size, Clock::time_point deadline) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(fd, POLLOUT, deadline)) {
                return B_TIMED_OUT;
            }
        } else if (n < 0 && errno != EINTR) {
            return B_IO_ERROR;
        }
    }
    return B_OK;
}

void PutLE32(uint8* out, uint32 value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = uint8(value >> (8 * i));
    }
}

uint32 GetLE32(const uint8* in) {
    return uint32(in[0]) | uint32(in[1]) << 8 | uint32(in[2]) << 16 | uint32(in[3]) << 24;
}

// A folder only this user may enter, and not a link to one.
bool IsPrivateFolder(const char* path) {
    struct stat info {};
    return lstat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

bool MakeAddress(const std::string& path, sockaddr_un* address) {
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof(address->sun_path)) {
        return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

enum class Probe { kAnswers, kRefused, kAbsent, kError };

// Connects without blocking; on success the connected socket is left in `*connected`.
Probe Connect(const std::string& path, Fd* connected) {
    sockaddr_un address;
    if (!MakeAddress(path, &address)) {
        return Probe::kError;
    }
    Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0) {
        return Probe::kError;
    }
    if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        if (connected != nullptr) {
            connected->Reset(fd.Release());
        }
        return Probe::kAnswers;
    }
    switch (errno) {
        case EAGAIN:  // a listener whose backlog is full: alive, only busy
            return Probe::kAnswers;
        case ECONNREFUSED:
            return Probe::kRefused;
        case ENOENT:
            return Probe::kAbsent;
        default:
            return Probe::kError;
    }
}

bool BytesWaiting(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 && count > 0;
}

// Wakes the thread polling an eventfd.
void Signal(int eventFd) {
    uint64 one = 1;
    [[maybe_unused]] ssize_t written = write(eventFd, &one, sizeof one);
}

// Holds the lock file's flock for as long as it lives.
class LockFile {
public:
    explicit LockFile(const std::string& socketPath)
        : fFd(open((socketPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                   0600)) {
        if (fFd.Get() >= 0) {
            while (flock(fFd.Get(), LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    bool Held() const { return fFd.Get() >= 0; }

private:
    Fd fFd;  // closing it releases the lock
};

}  // namespace

status_t InstanceFolder(std::string* folder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && IsPrivateFolder(runtime)) {
        *folder = runtime;
        return B_OK;
    }
    std::string fallback =
        "/tmp/" + CurrentProgramIdentity().name + "-" + std::to_string(geteuid());
    if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        return Fail(StatusFromErrno(errno), "impossible de créer " + fallback);
    }
    // Someone else may have made it first, to catch our socket: never use it then.
    if (!IsPrivateFolder(fallback.c_str())) {
        return Fail(B_PERMISSION_DENIED, "le dossier " + fallback +
                                             " n’est pas sûr (autre propriétaire ou "
                                             "permissions trop larges)");
    }
    *folder = fallback;
    return B_OK;
}

status_t InstanceSocketPath(const char* signature, std::string* path) {
    if (signature == nullptr || signature[0] == '\0') {
        return B_BAD_VALUE;
    }
    std::string folder;
    status_t status = InstanceFolder(&folder);
    if (status != B_OK) {
        return status;
    }
    std::string name;
    for (const char* c = signature; *c != '\0'; ++c) {
        bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                     (*c >= '0' && *c <= '9') || *c == '.' || *c == '-';
        name += plain ? *c : '_';
    }
    *path = folder + "/" + name + ".socket";
    sockaddr_un address;
    // Room for the lock file's name is not limited; the socket's is.
    if (!MakeAddress(*path, &address)) {
        return Fail(B_NAME_TOO_LONG, "chemin de socket trop long");
    }
    return B_OK;
}

bool InstanceAnswers(const char* signature) {
    std::string path;
    return InstanceSocketPath(signature, &path) == B_OK &&
           Connect(path, nullptr) == Probe::kAnswers;
}

status_t SendToInstance(const char* signature, const BMessage& message, bigtime_t timeout) {
    std::string path;
    status_t status = InstanceSocketPath(signature, &path);
    if (status != B_OK) {
        return status;
    }
    std::vector<uint8> frame(4);
    std::vector<uint8> flat;
    status = message.Flatten(&flat);
    if (status != B_OK) {
        return status;
    }
    PutLE32(frame.data(), uint32(flat.size()));
    frame.insert(frame.end(), flat.begin(), flat.end());

    Clock::time_point deadline = DeadlineAfter(timeout);
    while (true) {
        Fd fd;
        while (true) {
            Probe probe = Connect(path, &fd);
            if (fd.Get() >= 0) {
                break;
            }
            // A busy instance (full backlog) is worth waiting for; a missing one is not.
            if (probe != Probe::kAnswers) {
                return Fail(B_LAUNCH_FAILED_APP_NOT_FOUND, "application introuvable");
            }
            if (MillisLeft(deadline) == 0) {
                return Fail(B_TIMED_OUT, "l’application ne répond pas");
            }
            usleep(10'000);
        }
        status = WriteFully(fd.Get(), frame.data(), frame.size(), deadline);
        uint8 reply[4];
        size_t got = 0;
        if (status == B_OK) {
            status = ReadFully(fd.Get(), reply, sizeof reply, deadline, &got);
        }
        if (status == B_TIMED_OUT) {
            return Fail(B_TIMED_OUT, "l’application ne répond pas");
        }
        if (status == B_OK && got == sizeof reply) {
            return status_t(GetLE32(reply));
        }
        // Closed with no answer at all: the instance gave this connection's place to another
        // before it took the message, for it answers every message it takes. Sent again.
        if (got != 0 || MillisLeft(deadline) == 0) {
            return Fail(B_IO_ERROR, "message non remis à l’application");
        }
        usleep(10'000);
    }
}

// ---- the listening side

InstanceServer::~InstanceServer() {
    Stop();
}

status_t InstanceServer::Claim(const char* signature) {
    if (fListenFd >= 0) {
        return B_OK;
    }
    std::string path;
    status_t status = InstanceSocketPath(signature, &path);
    if (status != B_OK) {
        return status;
    }
    LockFile lock(path);
    if (!lock.Held()) {
        return Fail(StatusFromErrno(errno), "verrou de l’instance inaccessible");
    }
    switch (Connect(path, nullptr)) {
        case Probe::kAnswers:
            return B_ALREADY_RUNNING;
        case Probe::kRefused: {
            // Nobody listens: a socket left by an instance that died. Anything else at that
            // path is not ours to remove.
            struct stat info {};
            if (lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
                unlink(path.c_str()) != 0) {
                return Fail(B_FILE_EXISTS, path + " existe et n’est pas un socket");
            }
            break;
        }
        case Probe::kAbsent:
            break;
        case Probe::kError:
            return Fail(StatusFromErrno(errno), "socket de l’instance inaccessible");
    }
    sockaddr_un address;
    MakeAddress(path, &address);
    Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0 ||
        bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd.Get(), 64) != 0) {
        return Fail(StatusFromErrno(errno), "impossible d’ouvrir le socket de l’instance");
    }
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        fSocketInode = info.st_ino;
    }
    fPath = path;
    fListenFd = fd.Release();
    return B_OK;
}

status_t InstanceServer::Serve(Deliver deliver) {
    if (fListenFd < 0) {
        return B_NO_INIT;
    }
    if (fAcceptThread.joinable()) {
        return B_BUSY;
    }
    fWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fWakeFd < 0) {
        return StatusFromErrno(errno);
    }
    fDeliver = std::move(deliver);
    fStopping = false;
    fAcceptThread = std::thread(&InstanceServer::AcceptLoop, this);
    return B_OK;
}

void InstanceServer::Stop() {
    fStopping = true;
    if (fAcceptThread.joinable()) {
        Signal(fWakeFd);
        fAcceptThread.join();
    }
    {
        std::lock_guard lock(fConnectionsLock);
        // Reading ends at once; a reply being written still goes out, so a sender whose
        // message made the instance quit still learns it arrived.
        for (auto& connection : fConnections) {
            shutdown(connection->fd, SHUT_RD);
        }
    }
    ReapFinished(true);
    if (fListenFd >= 0) {
        // Removed under the lock, and only if it is still the socket we bound: a newer
        // instance may have replaced a socket it found dead.
        LockFile lock(fPath);
        struct stat info {};
        if (stat(fPath.c_str(), &info) == 0 && info.st_ino == fSocketInode) {
            unlink(fPath.c_str());
        }
        close(fListenFd);
        fListenFd = -1;
    }
    if (fWakeFd >= 0) {
        close(fWakeFd);
        fWakeFd = -1;
    }
}

void InstanceServer::AcceptLoop() {
    // Set while no connection may give way yet: new ones wait in the backlog until one may,
    // or until a connection ends or is done with its message and wakes this loop.
    bool full = false;
    int waitMillis = -1;
    while (!fStopping) {
        pollfd entries[2] = {{fListenFd, short(full ? 0 : POLLIN), 0}, {fWakeFd, POLLIN, 0}};
        if (poll(entries, 2, full ? waitMillis : -1) < 0) {
            continue;  // EINTR
        }
        if (entries[1].revents != 0) {
            uint64 count = 0;
            [[maybe_unused]] ssize_t got = read(fWakeFd, &count, sizeof count);
            if (fStopping) {
                break;
            }
        }
        if (entries[0].revents == 0 && !full) {
            continue;
        }
        ReapFinished(false);
        full = !MakeRoom(&waitMillis);
        if (full) {
            continue;
        }
        int client = accept4(fListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) {
            if (errno == EMFILE || errno == ENFILE) {
                usleep(50'000);  // out of descriptors: let connections finish
            }
            continue;
        }
        // The folder is private already; the peer's identity is checked all the same.
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
            peer.uid != geteuid()) {
            close(client);
            continue;
        }
        std::lock_guard lock(fConnectionsLock);
        auto connection = std::make_unique<Connection>();
        connection->fd = client;
        connection->lastActivity = Clock::now().time_since_epoch().count();
        Connection* raw = connection.get();
        fConnections.push_back(std::move(connection));
        raw->thread = std::thread([this, raw] { Serve(raw); });
    }
}

bool InstanceServer::MakeRoom(int* waitMillis) {
    std::lock_guard lock(fConnectionsLock);
    int open = 0;
    bool reading = false;
    Connection* longestIdle = nullptr;
    for (auto& connection : fConnections) {
        if (connection->done || connection->evicted) {
            continue;
        }
        ++open;
        // One with bytes not yet read is a sender on its way, not an idle one.
        if (connection->busy || BytesWaiting(connection->fd)) {
            reading = reading || !connection->busy;
            continue;
        }
        if (longestIdle == nullptr || connection->lastActivity < longestIdle->lastActivity) {
            longestIdle = connection.get();
        }
    }
    if (open < kMaxConnections) {
        return true;
    }
    if (longestIdle == nullptr) {
        // Asked again soon while some are reading; else once one is done with its message.
        *waitMillis = reading ? 10 : -1;
        return false;
    }
    // Its thread sees the end of the stream at once and finishes; the slot is free now.
    longestIdle->evicted = true;
    shutdown(longestIdle->fd, SHUT_RDWR);
    return true;
}

bool InstanceServer::MarkBusy(Connection* connection, bool busy) {
    std::lock_guard lock(fConnectionsLock);
    if (connection->evicted) {
        return false;
    }
    connection->busy = busy;
    if (!busy) {
        connection->lastActivity = Clock::now().time_since_epoch().count();
        Signal(fWakeFd);  // it may give way now, to a connection waiting for a slot
    }
    return true;
}

void InstanceServer::Serve(Connection* connection) {
    int fd = connection->fd;
    auto reply = [fd](status_t status, Clock::time_point deadline) {
        uint8 bytes[4];
        PutLE32(bytes, uint32(status));
        return WriteFully(fd, bytes, sizeof bytes, deadline) == B_OK;
    };
    // Each read must complete within the timeout, so a peer that stops or trickles is
    // dropped, and the time of the last one tells which connection gives way to a new one.
    auto receive = [this, connection, fd](uint8* buffer, size_t size, Clock::time_point* deadline) {
        *deadline = DeadlineAfter(fReadTimeout);
        size_t got = 0;
        bool complete = ReadFully(fd, buffer, size, *deadline, &got) == B_OK && got == size;
        connection->lastActivity = Clock::now().time_since_epoch().count();
        return complete;
    };
    std::vector<uint8> buffer;
    while (!fStopping) {
        Clock::time_point deadline;
        uint8 header[4];
        if (!receive(header, sizeof header, &deadline)) {
            break;
        }
        uint32 length = GetLE32(header);
        if (length == 0 || length > BMessage::kMaxFlattenedSize) {
            reply(B_NO_MEMORY, deadline);
            break;
        }
        // Grown as bytes arrive: a length alone never makes the server allocate.
        buffer.clear();
        bool complete = true;
        while (complete && buffer.size() < length) {
            size_t before = buffer.size();
            buffer.resize(before + std::min<size_t>(length - before, 64 * 1024));
            complete = receive(buffer.data() + before, buffer.size() - before, &deadline);
        }
        if (!complete || !MarkBusy(connection, true)) {
            break;
        }
        BMessage message;
        status_t status = message.Unflatten(buffer.data(), buffer.size());
        std::vector<uint8>().swap(buffer);  // the frame is not needed while the message waits
        if (status == B_OK) {
            fDeliver(std::move(message));
        }
        bool replied = reply(status, DeadlineAfter(fReadTimeout));
        if (status != B_OK || !replied || !MarkBusy(connection, false)) {
            break;
        }
    }
    // The peer sees the end now; the descriptor itself is closed when the thread is reaped.
    shutdown(fd, SHUT_RDWR);
    connection->done = true;
    Signal(fWakeFd);  // the accept loop may be waiting for a free slot
}

void InstanceServer::ReapFinished(bool all) {
    // Joined outside the lock, which a connection's thread may be waiting for.
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard lock(fConnectionsLock);
        for (auto it = fConnections.begin(); it != fConnections.end();) {
            auto next = std::next(it);
            if (all || (*it)->done) {
                finished.splice(finished.end(), fConnections, it);
            }
            it = next;
        }
    }
    for (auto& connection : finished) {
        connection->thread.join();
        close(connection->fd);
    }
}

}  // namespace orv
