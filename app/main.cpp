// SPDX-License-Identifier: MIT
// The program entry: the window, the file manager's action, or a command of the command
// line, as the arguments say.
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "app/AppInfo.h"
#include "app/CatalogueCommands.h"
#include "app/CommandLine.h"
#include "app/ConvertCommand.h"
#include "app/Identity.h"
#include "app/WindowProgram.h"
#include "platform/translation/TranslatorRoster.h"

int main(int argc, char** argv) {
    orv::SetProgramIdentity(orv::OrvaneIdentity());
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const orv::cli::ParseResult parsed = orv::cli::ParseCommandLine(args);
    if (!parsed.ok()) {
        std::fprintf(stderr, "orvane : %s\n\n%s", parsed.error.c_str(),
                     orv::cli::UsageText().c_str());
        return 2;
    }
    const orv::cli::Command& command = parsed.command;
    switch (command.kind) {
        case orv::cli::CommandKind::Help:
            std::printf("%s", orv::cli::UsageText().c_str());
            return 0;
        case orv::cli::CommandKind::Version:
            std::printf("%s", orv::VersionText().c_str());
            return 0;
        case orv::cli::CommandKind::Window:
            return orv::cli::RunWindowProgram(command.paths);
        case orv::cli::CommandKind::AddOn:
            return orv::cli::RunAddOn(command.paths);
        case orv::cli::CommandKind::Convert:
            return orv::cli::RunConvert(BTranslatorRoster::Default(), command.convert);
        case orv::cli::CommandKind::Formats:
            return orv::cli::RunFormats(BTranslatorRoster::Default());
        case orv::cli::CommandKind::Settings:
            return orv::cli::RunSettings(BTranslatorRoster::Default(), command.settings);
    }
    return 2;
}
