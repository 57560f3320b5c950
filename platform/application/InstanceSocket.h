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
// message is queued, so the sender knows it arrived before it exits.
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
// thread of its own, handing every valid message to `deliver`.
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

    // A connection that sends nothing for this long, or takes longer than this for one
    // frame, is closed.
    void SetReadTimeout(bigtime_t timeout) { fReadTimeout = timeout; }
    // Connections served at once; more are closed as soon as they are accepted.
    static constexpr int kMaxConnections = 16;

private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void AcceptLoop();
    void Serve(Connection* connection);
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
    bigtime_t fReadTimeout = 5'000'000;
};

}  // namespace orv
