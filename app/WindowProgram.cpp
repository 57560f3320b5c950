// SPDX-License-Identifier: MIT
#include "app/WindowProgram.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/AppInfo.h"
#include "app/CommandLine.h"
#include "app/HeadlessConsole.h"
#include "app/OrvLauncher.h"
#include "app/ProcessRefs.h"
#include "platform/display/loader/QtDisplayLoader.h"
#include "platform/support/ErrorReason.h"

namespace orv::cli {

namespace {

// Whether the Qt display can open: its library loads (a build without Qt has none: said,
// since a screen was asked for) and a screen answers. Qt ends the process when the screen
// it is given does not answer: look first.
bool QtDisplayOpens() {
    if (orv::LoadQtDisplay() != B_OK) {
        std::fprintf(stderr, "orvane : %s\n", orv::ErrorReason().c_str());
        return false;
    }
    return orv::QtDisplayAnswers();
}

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

BMessage RefsMessage(uint32 what, const std::vector<std::string>& paths) {
    std::vector<std::string> unusable;
    BMessage message = RefsFromPaths(what, paths, &unusable);
    for (const std::string& path : unusable) {
        std::fprintf(stderr, "orvane : chemin inutilisable, ignoré : %s\n", path.c_str());
    }
    return message;
}

int HandToRunningInstance(const BMessage& refs) {
    if (refs.IsEmpty()) {
        // Nothing to hand over: the window that runs stays as it is.
        return 0;
    }
    const status_t status = BApplication::SendToRunningInstance(kAppSignature, refs);
    if (status != B_OK) {
        std::fprintf(stderr, "orvane : la fenêtre ouverte n’a pas reçu les fichiers : %s\n",
                     ErrorReasonOr(status).c_str());
        return 1;
    }
    return 0;
}

// The application with its window, the files of the command line already on their way to
// it; the caller runs it.
OrvLauncher* StartLauncher(const BMessage& refs) {
    auto* launcher = new OrvLauncher(kAppSignature);
    if (!refs.IsEmpty()) {
        launcher->PostMessage(&refs);
    }
    return launcher;
}

}  // namespace

DisplayKind ChooseDisplay() {
    if (const char* forced = std::getenv("ORVANE_DISPLAY");
        forced != nullptr && forced[0] != '\0') {
        if (std::strcmp(forced, "headless") == 0) {
            return DisplayKind::Headless;
        }
        if (std::strcmp(forced, "qt") == 0) {
            return QtDisplayOpens() ? DisplayKind::Qt : DisplayKind::None;
        }
        return DisplayKind::None;
    }
    if ((IsSet("WAYLAND_DISPLAY") || IsSet("DISPLAY")) && QtDisplayOpens()) {
        return DisplayKind::Qt;
    }
    return DisplayKind::None;
}

int RunWindowProgram(const std::vector<std::string>& paths) {
    const BMessage refs = RefsMessage(B_REFS_RECEIVED, paths);
    if (BApplication::IsAnotherInstanceRunning(kAppSignature)) {
        return HandToRunningInstance(refs);
    }
    const DisplayKind display = ChooseDisplay();
    if (display == DisplayKind::None) {
        std::fprintf(stderr,
                     "orvane : la fenêtre a besoin d’un écran, et aucun ne répond "
                     "(voir $WAYLAND_DISPLAY et $DISPLAY).\n"
                     "Pour convertir sans fenêtre : orvane convert --to FORMAT FICHIER...\n"
                     "(voir « orvane --help »)\n");
        return 2;
    }
    const status_t claimed = BApplication::ClaimSignature(kAppSignature);
    if (claimed == B_ALREADY_RUNNING) {
        // Another start won the race between the probe above and this claim.
        return HandToRunningInstance(refs);
    }
    if (claimed != B_OK) {
        std::fprintf(stderr,
                     "orvane : lancement unique indisponible (%s) ; la fenêtre s’ouvre quand "
                     "même, sans recevoir les fichiers des lancements suivants\n",
                     ErrorReasonOr(claimed).c_str());
    }

    if (display == DisplayKind::Qt) {
        return orv::RunInQtDisplay([&refs]() -> BApplication* { return StartLauncher(refs); });
    }
    if (display == DisplayKind::Headless) {
        StartConsole(WatchedDisplay::Install(TraceWatchers(stderr)), stdin);
    }
    OrvLauncher* launcher = StartLauncher(refs);
    launcher->Run();
    delete launcher;
    return 0;
}

int RunAddOn(const std::vector<std::string>& paths) {
    BMessage selection = RefsMessage(B_REFS_RECEIVED, paths);
    if (!BApplication::IsAnotherInstanceRunning(kAppSignature) &&
        ChooseDisplay() == DisplayKind::None) {
        // The program it would start could open no window: say so now rather than after
        // the whole wait for a program that already gave up.
        std::fprintf(stderr,
                     "orvane : la sélection n’a pas pu être confiée à Orvane : aucun écran "
                     "pour ouvrir la fenêtre (voir « orvane convert »)\n");
        return 1;
    }
    const status_t status = HandOverFromAddOn(&selection);
    if (status != B_OK) {
        std::fprintf(stderr, "orvane : la sélection n’a pas pu être confiée à Orvane : %s\n",
                     ErrorReasonOr(status).c_str());
        return 1;
    }
    return 0;
}

}  // namespace orv::cli
