// SPDX-License-Identifier: MIT
#include "platform/display/loader/QtDisplayLoader.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

#include "platform/support/ErrorReason.h"

namespace orv {

namespace {

struct LoadedDisplay {
    status_t status = B_ERROR;
    std::string reason;
    QtDisplayAvailableEntry available = nullptr;
    RunWithQtDisplayEntry run = nullptr;
};

// The library's path: the folder this code was loaded from (the platform library, in the
// build tree as once installed), then the library's file name.
std::string LibraryPath() {
    Dl_info info{};
    const std::string name = ORVANE_QT_DISPLAY_LIBRARY;
    if (dladdr(reinterpret_cast<void*>(&LoadQtDisplay), &info) == 0 || info.dli_fname == nullptr) {
        return name;  // the dynamic linker's own search
    }
    const std::string self = info.dli_fname;
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? name : self.substr(0, slash + 1) + name;
}

const LoadedDisplay& Loaded() {
    static LoadedDisplay loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        // Never unloaded: Qt registers exit handlers and keeps threads of its own.
        void* handle = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle == nullptr) {
            const char* error = dlerror();
            loaded.reason = std::string("affichage Qt introuvable : ") +
                            (error != nullptr ? error : ORVANE_QT_DISPLAY_LIBRARY);
            return;
        }
        loaded.available =
            reinterpret_cast<QtDisplayAvailableEntry>(dlsym(handle, kQtDisplayAvailableSymbol));
        loaded.run =
            reinterpret_cast<RunWithQtDisplayEntry>(dlsym(handle, kRunWithQtDisplaySymbol));
        if (loaded.available == nullptr || loaded.run == nullptr) {
            loaded.reason = std::string("affichage Qt incomplet : ") + ORVANE_QT_DISPLAY_LIBRARY;
            return;
        }
        loaded.status = B_OK;
    });
    return loaded;
}

}  // namespace

status_t LoadQtDisplay() {
    const LoadedDisplay& loaded = Loaded();
    return loaded.status == B_OK ? B_OK : Fail(loaded.status, loaded.reason);
}

bool QtDisplayAnswers() {
    const LoadedDisplay& loaded = Loaded();
    return loaded.status == B_OK && loaded.available();
}

int RunInQtDisplay(const std::function<BApplication*()>& start) {
    return Loaded().run(&start);
}

}  // namespace orv
