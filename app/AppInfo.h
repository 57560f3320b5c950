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

// Version varieties by number, from développement (0) to finale (5); `orvane --version`
// prints the name and the number. This release is a gamma.
inline constexpr const char* kVarietyNames[] = {"développement", "alpha",         "bêta",
                                                "gamma",         "golden master", "finale"};
inline constexpr uint32 B_APPV_GAMMA = 3;

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
