// SPDX-License-Identifier: MIT
// Message codes the platform itself sends and understands.
#pragma once

#include "platform/support/SupportDefs.h"

enum : uint32 {
    B_QUIT_REQUESTED = FourCC("_QRQ"),  // 0x5F515251: please quit
    B_REFS_RECEIVED = FourCC("RREF"),   // 0x52524546: files opened with the application
    B_SIMPLE_DATA = FourCC("DATA"),     // 0x44415441: a drag-and-drop
    B_READY_TO_RUN = FourCC("_RTR"),    // the application's loop has started
    B_ARGV_RECEIVED = FourCC("_ARG"),   // command-line arguments (field "argv")
    B_CANCEL = FourCC("_CNC"),
    B_MESSAGE_NOT_UNDERSTOOD = FourCC("_NUN"),
};
