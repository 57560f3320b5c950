// SPDX-License-Identifier: MIT
#pragma once

// "2.0.0" for this release; a translator add-on built for another layer can tell.
extern "C" const char* orv_platform_version();
