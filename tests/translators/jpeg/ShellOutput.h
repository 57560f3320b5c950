// SPDX-License-Identifier: MIT
// The other tools the JPEG tests make and read files with (ImageMagick, exiftool, cjpeg).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace orv::test {

// What `command` prints on its standard output; a command that fails fails the test.
inline std::string ShellOutput(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr) << command;
    char buffer[4096];
    for (size_t got; pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, got);
    }
    EXPECT_EQ(pipe != nullptr ? pclose(pipe) : -1, 0) << command;
    return text;
}

inline bool HasTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace orv::test

// Skips the test, saying why, when one of the tools is not installed.
#define ORV_NEED_TOOLS(...)                              \
    for (const char* tool : {__VA_ARGS__}) {             \
        if (!::orv::test::HasTool(tool)) {               \
            GTEST_SKIP() << tool << " is not installed"; \
        }                                                \
    }
