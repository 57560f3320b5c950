// SPDX-License-Identifier: MIT
// The version of the platform layer, which add-ons and the program report.
#include "platform/PlatformVersion.h"

const char* orv_platform_version() {
    return ORVANE_PLATFORM_VERSION;
}
