// SPDX-License-Identifier: MIT
// Constants of the storage kit: name lengths and the open modes of BFile.
#pragma once

#include <climits>
#include <string_view>

#include "platform/support/SupportDefs.h"

// A leaf name and its terminating zero fit this many bytes.
constexpr size_t B_FILE_NAME_LENGTH = 256;
constexpr size_t B_PATH_NAME_LENGTH = PATH_MAX;

// Open modes of BFile: one access mode, or'ed with flags.
enum : uint32 {
    B_READ_ONLY = 0x0000,
    B_WRITE_ONLY = 0x0001,
    B_READ_WRITE = 0x0002,
    B_ACCESS_MODE_MASK = 0x0003,

    B_FAIL_IF_EXISTS = 0x0100,
    B_CREATE_FILE = 0x0200,
    B_ERASE_FILE = 0x0400,
    B_OPEN_AT_END = 0x0800,
};

namespace orv {

// A name that stays inside its folder: not empty, no '/', not "." or "..".
inline bool IsLeafName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

}  // namespace orv
