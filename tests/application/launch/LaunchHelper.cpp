// SPDX-License-Identifier: MIT
// The program the launch test starts through $ORVANE_EXECUTABLE: it serves the signature
// given as its argument until told to quit (message 99), or for ten seconds at most, in the
// runtime folder of the test that started it.
#include <chrono>
#include <thread>

#include "app/Identity.h"
#include "platform/application/Application.h"
#include "platform/application/Messenger.h"

namespace {

constexpr uint32 kQuit = 99;

class Helper : public BApplication {
public:
    using BApplication::BApplication;
    void MessageReceived(BMessage* message) override {
        if (message->what == kQuit) {
            Quit();
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    orv::SetProgramIdentity(orv::OrvaneIdentity());
    if (argc != 2) {
        return 2;
    }
    Helper app(argv[1]);
    if (app.InitCheck() != B_OK) {
        return 1;
    }
    std::thread deadline([] {
        std::this_thread::sleep_for(std::chrono::seconds(10));
        be_app_messenger.SendMessage(kQuit);
    });
    deadline.detach();
    app.Run();
    return 0;
}
