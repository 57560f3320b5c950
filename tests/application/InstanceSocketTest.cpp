// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "platform/application/AppDefs.h"
#include "platform/application/Application.h"
#include "platform/application/InstanceSocket.h"
#include "platform/application/Messenger.h"
#include "platform/application/Roster.h"
#include "tests/application/AppTestSupport.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kSignature = "application/x-vnd.Orvane-socket-test";

BMessage FileList() {
    BMessage message(50);
    entry_ref ref("/home/anne/Images", "chat.png");
    message.AddRef("refs", &ref);
    message.AddBool("CalledFromAddOn", true);
    return message;
}

// Runs `body` in a forked child and returns its exit status.
template <typename Body>
int InChild(Body body) {
    pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

// A raw client, for saying what no well-behaved sender says.
int RawConnect(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

// What the server answers before it closes: its status, or 1 when it closed silently.
int64 ReplyThenClose(int fd) {
    uint8 reply[4];
    ssize_t got = recv(fd, reply, sizeof reply, MSG_WAITALL);
    int64 status = 1;
    if (got == 4) {
        status = int32(uint32(reply[0]) | uint32(reply[1]) << 8 | uint32(reply[2]) << 16 |
                       uint32(reply[3]) << 24);
    }
    uint8 more;
    EXPECT_EQ(recv(fd, &more, 1, 0), 0) << "connection left open";
    close(fd);
    return status;
}

void SendAll(int fd, const void* data, size_t size) {
    ASSERT_EQ(send(fd, data, size, MSG_NOSIGNAL), ssize_t(size));
}

}  // namespace

class InstanceSocket : public RuntimeFolderTest {
protected:
    // Serves kSignature into a recording looper; `handled` runs after each message.
    void StartServer(std::function<void()> handled = [] {}) {
        fInbox = new RecordingLooper;
        fInbox->Run();
        ASSERT_EQ(fServer.Claim(kSignature), B_OK);
        BLooper* inbox = fInbox;
        ASSERT_EQ(fServer.Serve([inbox, handled](BMessage&& message) {
            inbox->PostMessage(&message);
            handled();
        }),
                  B_OK);
    }
    void TearDown() override {
        fServer.Stop();
        if (fInbox != nullptr) {
            fInbox->Lock();
            fInbox->Quit();
        }
        RuntimeFolderTest::TearDown();
    }

    orv::InstanceServer fServer;
    RecordingLooper* fInbox = nullptr;
};

TEST_F(InstanceSocket, SecondProcessFindsTheFirstAndHandsItsMessageOver) {
    StartServer();
    std::string path;
    ASSERT_EQ(orv::InstanceSocketPath(kSignature, &path), B_OK);
    EXPECT_EQ(path.rfind(fFolder + "/", 0), 0u) << path;

    int status = InChild([] {
        orv::InstanceServer second;
        if (second.Claim(kSignature) != B_ALREADY_RUNNING || !orv::InstanceAnswers(kSignature)) {
            return 1;
        }
        status_t result = B_ERROR;
        BMessenger messenger(kSignature, -1, &result);
        BMessage list = FileList();
        if (result != B_OK || messenger.SendMessage(&list) != B_OK) {
            return 2;
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(fInbox->WaitFor(1));
    BMessage received = fInbox->Received()[0];
    EXPECT_EQ(received.what, 50u);
    EXPECT_TRUE(received.GetBool("CalledFromAddOn"));
    entry_ref ref;
    ASSERT_EQ(received.FindRef("refs", &ref), B_OK);
    EXPECT_EQ(ref.Path(), "/home/anne/Images/chat.png");

    // Once the instance stops, its socket goes and nobody answers.
    fServer.Stop();
    EXPECT_FALSE(orv::InstanceAnswers(kSignature));
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    status_t result = B_OK;
    BMessenger gone(kSignature, -1, &result);
    EXPECT_EQ(result, B_LAUNCH_FAILED_APP_NOT_FOUND);
    BMessage list = FileList();
    EXPECT_EQ(gone.SendMessage(&list), B_LAUNCH_FAILED_APP_NOT_FOUND);
}

TEST_F(InstanceSocket, StaleSocketIsReplacedButNothingElseIs) {
    std::string path;
    ASSERT_EQ(orv::InstanceSocketPath(kSignature, &path), B_OK);
    // A socket left by an instance that died: bound, nobody listening.
    int dead = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(dead, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(dead);
    EXPECT_FALSE(orv::InstanceAnswers(kSignature));
    StartServer();
    EXPECT_TRUE(orv::InstanceAnswers(kSignature));
    fServer.Stop();

    // A regular file in its place is left alone and the claim fails.
    std::ofstream(path) << "pas un socket";
    orv::InstanceServer server;
    EXPECT_EQ(server.Claim(kSignature), B_FILE_EXISTS);
    EXPECT_EQ(access(path.c_str(), F_OK), 0);
}

TEST_F(InstanceSocket, SimultaneousStartsElectExactlyOneInstance) {
    constexpr int kStarters = 8;
    int results[2];
    int release[2];
    ASSERT_EQ(pipe(results), 0);
    ASSERT_EQ(pipe(release), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kStarters; ++i) {
        pid_t child = fork();
        if (child == 0) {
            close(release[1]);
            orv::InstanceServer server;
            status_t status = server.Claim(kSignature);
            char verdict = status == B_OK ? 'W' : status == B_ALREADY_RUNNING ? 'L' : 'E';
            [[maybe_unused]] ssize_t written = write(results[1], &verdict, 1);
            char wait;
            [[maybe_unused]] ssize_t got = read(release[0], &wait, 1);  // until released
            _exit(0);
        }
        children.push_back(child);
    }
    close(release[0]);
    std::string verdicts;
    for (int i = 0; i < kStarters; ++i) {
        char verdict = '?';
        ASSERT_EQ(read(results[0], &verdict, 1), 1);
        verdicts += verdict;
    }
    close(release[1]);
    for (pid_t child : children) {
        waitpid(child, nullptr, 0);
    }
    close(results[0]);
    close(results[1]);
    std::sort(verdicts.begin(), verdicts.end());
    EXPECT_EQ(verdicts, "LLLLLLLW");
}

TEST_F(InstanceSocket, MalformedFramesAreRefusedAndTheServerCarriesOn) {
    fServer.SetReadTimeout(300'000);
    StartServer();
    const std::string& path = fServer.Path();

    // A length over the bound: refused before anything is allocated.
    int fd = RawConnect(path);
    const uint8 huge[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    SendAll(fd, huge, 4);
    EXPECT_EQ(ReplyThenClose(fd), B_NO_MEMORY);

    // A plausible length followed by bytes that are not a message.
    fd = RawConnect(path);
    const uint8 garbage[] = {24,  0,   0,   0,   'n', 'o', 't', ' ', 'a', ' ', 'm', 'e', 's', 's',
                             'a', 'g', 'e', ' ', 'a', 't', ' ', 'a', 'l', 'l', '!', '!', '!', '!'};
    SendAll(fd, garbage, sizeof garbage);
    EXPECT_EQ(ReplyThenClose(fd), B_NOT_A_MESSAGE);

    // A valid header whose body never comes, and a client that says nothing at all: both
    // are dropped after the read timeout.
    fd = RawConnect(path);
    std::vector<uint8> flat;
    FileList().Flatten(&flat);
    uint8 length[4] = {uint8(flat.size()), 0, 0, 0};
    SendAll(fd, length, 4);
    SendAll(fd, flat.data(), flat.size() / 2);
    int silent = RawConnect(path);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReplyThenClose(fd), 1);
    EXPECT_EQ(ReplyThenClose(silent), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    // Two messages on one connection, each acknowledged.
    fd = RawConnect(path);
    for (int i = 0; i < 2; ++i) {
        SendAll(fd, length, 4);
        SendAll(fd, flat.data(), flat.size());
        uint8 reply[4] = {1, 1, 1, 1};
        ASSERT_EQ(recv(fd, reply, 4, MSG_WAITALL), 4);
        EXPECT_EQ(reply[0] | reply[1] | reply[2] | reply[3], 0);
    }
    close(fd);
    BMessage list = FileList();
    EXPECT_EQ(orv::SendToInstance(kSignature, list), B_OK);
    ASSERT_TRUE(fInbox->WaitFor(3));
    EXPECT_EQ(fInbox->Received().size(), 3u);
}

TEST_F(InstanceSocket, IdleConnectionsGiveWayToASenderAtOnce) {
    StartServer();  // the idle ones would not time out during the test
    std::vector<int> idle;
    for (int i = 0; i < 2 * orv::InstanceServer::kMaxConnections; ++i) {
        idle.push_back(RawConnect(fServer.Path()));
    }
    auto start = std::chrono::steady_clock::now();
    BMessage list = FileList();
    EXPECT_EQ(orv::SendToInstance(kSignature, list, 1'000'000), B_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    // No more than the limit stayed open: the longest idle gave way, each to a newer one.
    std::vector<pollfd> entries;
    for (int fd : idle) {
        entries.push_back({fd, POLLIN, 0});
    }
    EXPECT_GE(poll(entries.data(), entries.size(), 0), orv::InstanceServer::kMaxConnections + 1);
    std::for_each(idle.begin(), idle.end(), close);
}

TEST_F(InstanceSocket, SendersWhoseMessagesAreBeingHandledKeepTheirPlace) {
    // Every place holds a message the instance is still handling: one more sender waits
    // for a place instead of taking one, and every message arrives once.
    constexpr int kPlaces = orv::InstanceServer::kMaxConnections;
    std::promise<void> release;
    StartServer([released = release.get_future().share()] { released.wait(); });
    std::atomic<int> answered{0};
    std::vector<std::thread> senders;
    for (int i = 0; i <= kPlaces; ++i) {
        EXPECT_TRUE(fInbox->WaitFor(size_t(i)));  // the last one once all places are held
        senders.emplace_back([&answered] {
            answered += orv::SendToInstance(kSignature, FileList(), 5'000'000) == B_OK ? 1 : 0;
        });
    }
    EXPECT_FALSE(fInbox->WaitFor(kPlaces + 1, 300ms)) << "a place was taken from a message";
    release.set_value();
    for (std::thread& sender : senders) {
        sender.join();
    }
    EXPECT_EQ(answered, kPlaces + 1);
    fInbox->PostMessage(uint32(99));  // behind whatever was handed over: nothing came twice
    ASSERT_TRUE(fInbox->WaitFor(kPlaces + 2));
    EXPECT_EQ(fInbox->Received()[kPlaces + 1].what, 99u);
}

TEST_F(InstanceSocket, ALargeFileListIsHandedOverWhole) {
    StartServer();
    // 100 000 files with 250-byte paths: well within what a message may take.
    BMessage list(50);
    const std::string folder = "/home/anne/" + std::string(209, 'd');
    for (int i = 0; i < 100'000; ++i) {
        char leaf[32];
        std::snprintf(leaf, sizeof leaf, "photo-%019d.jpg", i);
        entry_ref ref(folder, leaf);
        ASSERT_EQ(list.AddRef("refs", &ref), B_OK);
    }
    EXPECT_EQ(orv::SendToInstance(kSignature, list), B_OK);
    ASSERT_TRUE(fInbox->WaitFor(1));
    entry_ref last;
    ASSERT_EQ(fInbox->Received()[0].FindRef("refs", 99'999, &last), B_OK);
    EXPECT_EQ(last.Path(), folder + "/photo-0000000000000099999.jpg");
}

TEST_F(InstanceSocket, AnUnsafeRuntimeFolderIsNotUsed) {
    ASSERT_EQ(chmod(fFolder.c_str(), 0755), 0);
    std::string folder;
    ASSERT_EQ(orv::InstanceFolder(&folder), B_OK);
    EXPECT_NE(folder, fFolder);
    EXPECT_EQ(folder, "/tmp/orvane-" + std::to_string(geteuid()));
}

TEST_F(InstanceSocket, LaunchStartsTheProgramOnceAndWaitsForIt) {
    const char* signature = "application/x-vnd.Orvane-launch-test";
    // A launch starts its program without arguments: the script gives the helper its one.
    std::string script = fFolder + "/launch.sh";
    std::ofstream(script) << "#!/bin/sh\nexec '" ORV_LAUNCH_HELPER "' '" << signature << "'\n";
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    setenv("ORVANE_EXECUTABLE", script.c_str(), 1);

    BMessage list = FileList();
    EXPECT_EQ(be_roster->Launch(signature), B_OK);
    EXPECT_TRUE(be_roster->IsRunning(signature));
    EXPECT_EQ(be_roster->Launch(signature, &list), B_ALREADY_RUNNING);
    BMessenger messenger(signature);
    EXPECT_EQ(messenger.SendMessage(99), B_OK);
    for (int i = 0; i < 200 && be_roster->IsRunning(signature); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(be_roster->IsRunning(signature));

    setenv("ORVANE_EXECUTABLE", (fFolder + "/absent").c_str(), 1);
    EXPECT_EQ(be_roster->Launch(signature), B_LAUNCH_FAILED_EXECUTABLE);
    unsetenv("ORVANE_EXECUTABLE");
}
