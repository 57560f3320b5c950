// SPDX-License-Identifier: MIT
// One running instance per application signature, and messages to it from other processes.
//
// The instance listens on a Unix stream socket named after its signature, in
// $XDG_RUNTIME_DIR (else in /tmp/NAME-UID, a 0700 folder of the user's, NAME being the
// program's name, see ProgramIdentity.h). A starting
// instance first connects: if that succeeds another instance runs; a socket that refuses
// the connection is stale and is replaced. A flock on a lock file beside the socket is held
// around probe-and-bind, so two instances starting together cannot both win.
//
// On the wire each message is a frame: its length (u32, little-endian) then the flattened
// BMessage. The instance answers each frame with a status (i32, little-endian) once the
// message is queued, so the sender knows it arrived before it exits; a connection it closes
// without an answer delivered nothing, and the sender tries again.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/support/Message.h"

namespace orv {

// The folder holding the sockets, made and checked: it must be a folder of the user's that
// nobody else may enter. B_PERMISSION_DENIED (with a reason) when /tmp/NAME-UID is not.
status_t InstanceFolder(std::string* folder);
// The socket's path for a signature (the lock file is the same path plus ".lock").
status_t InstanceSocketPath(const char* signature, std::string* path);

// True when an instance of `signature` accepts a connection.
bool InstanceAnswers(const char* signature);
// Sends one message to the running instance; B_OK once it has queued it. `timeout` bounds
// the whole exchange, in microseconds.
status_t SendToInstance(const char* signature, const BMessage& message,
                        bigtime_t timeout = 10'000'000);

// The listening side: accepts connections on a thread of its own and reads each on a
// thread of its own, handing every valid message to `deliver`. Idle and slow connections
// give way to new ones, so a sender is served at once whatever else is connected.
class InstanceServer {
public:
    using Deliver = std::function<void(BMessage&&)>;

    InstanceServer() = default;
    ~InstanceServer();
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    // Claims the signature: B_ALREADY_RUNNING when another instance answers, else B_OK with
    // the socket bound and listening. Connections wait in the backlog until Serve().
    status_t Claim(const char* signature);
    // Starts accepting; messages go to `deliver`, on the connections' threads.
    status_t Serve(Deliver deliver);
    // Stops accepting, ends every connection, and removes the socket if it is still ours.
    void Stop();
    const std::string& Path() const { return fPath; }

    // A connection that takes longer than this for a frame's length or for each 64 KB of
    // it, or for the next frame, is closed.
    void SetReadTimeout(bigtime_t timeout) { fReadTimeout = timeout; }
    // Connections served at once. When all are open, a new one takes the place of the one
    // that has waited longest for its next bytes; one whose message is being handled, or
    // whose bytes are waiting to be read, keeps its place. A sender whose connection gave
    // way before its message was read sends it again.
    static constexpr int kMaxConnections = 8;

private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
        // When its last bytes came (steady clock, nanoseconds).
        std::atomic<int64> lastActivity{0};
        // Under fConnectionsLock: its message is being handled; it gave way to a new one.
        bool busy = false;
        bool evicted = false;
    };

    void AcceptLoop();
    // True when a new connection may be accepted, making room if need be; else false, with
    // how long to wait before asking again (-1: until woken).
    bool MakeRoom(int* waitMillis);
    void Serve(Connection* connection);
    // False when the connection gave way already (and so may not start on a message).
    bool MarkBusy(Connection* connection, bool busy);
    void ReapFinished(bool all);

    std::string fPath;
    int fListenFd = -1;
    int fWakeFd = -1;
    uint64 fSocketInode = 0;
    Deliver fDeliver;
    std::thread fAcceptThread;
    std::atomic<bool> fStopping{false};
    std::mutex fConnectionsLock;
    std::list<std::unique_ptr<Connection>> fConnections;
    bigtime_t fReadTimeout = 2'000'000;
};

}  // namespace orv
