// SPDX-License-Identifier: MIT
// Who the program says it is: its signature, launch mode, supported types and version.
//
// Plain data, read by the single-launch machinery and shown by `orvane --version`.
#pragma once

#include <string>

#include "platform/support/Message.h"

namespace orv {

inline constexpr const char* kAppSignature = "application/x-vnd.Orvane";

// The launch mode: at most one running instance, which receives every later start's files.
inline constexpr uint32 B_SINGLE_LAUNCH = 0x0;

// Version varieties; `orvane --version` prints the number beside the name.
enum : uint32 {
    B_APPV_DEVELOPMENT = 0,
    B_APPV_ALPHA = 1,
    B_APPV_BETA = 2,
    B_APPV_GAMMA = 3,
    B_APPV_GOLDEN_MASTER = 4,
    B_APPV_FINAL = 5,
};

struct version_info {
    uint32 major;
    uint32 middle;
    uint32 minor;
    uint32 variety;
    uint32 internal;
    const char* short_info;
    const char* long_info;
};

struct AppResources {
    const char* signature;
    uint32 appFlags;
    version_info version;
};

const AppResources& Resources();

// The supported types, as a message: string field "types" = "image".
BMessage SupportedTypes();

// "2.0.0"
std::string VersionNumber(const version_info& version);
// The lines `orvane --version` prints.
std::string VersionText();

}  // namespace orv
