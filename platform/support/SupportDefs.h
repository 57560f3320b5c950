// SPDX-License-Identifier: MIT
// Basic types, result codes and type codes shared by every kit.
#pragma once

#include <sys/types.h>

#include <climits>
#include <cstddef>
#include <cstdint>

using int8 = std::int8_t;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using status_t = int32;
using type_code = uint32;
using bigtime_t = int64;
using team_id = int32;
using thread_id = int32;

// Four characters packed first to last from the high byte: 'DATA' reads 0x44415441.
constexpr uint32 FourCC(const char (&code)[5]) {
    return (uint32(uint8(code[0])) << 24) | (uint32(uint8(code[1])) << 16) |
           (uint32(uint8(code[2])) << 8) | uint32(uint8(code[3]));
}

// Result codes. B_OK is success; every error is negative.
enum : status_t {
    B_OK = 0,
    B_NO_ERROR = 0,
    B_ERROR = -1,

    B_GENERAL_ERROR_BASE = INT32_MIN,
    B_NO_MEMORY = B_GENERAL_ERROR_BASE + 0,
    B_IO_ERROR,
    B_PERMISSION_DENIED,
    B_BAD_INDEX,
    B_BAD_TYPE,
    B_BAD_VALUE,
    B_MISMATCHED_VALUES,
    B_NAME_NOT_FOUND,
    B_NAME_IN_USE,
    B_TIMED_OUT,
    B_INTERRUPTED,
    B_WOULD_BLOCK,
    B_CANCELED,
    B_NO_INIT,
    B_BUSY,
    B_NOT_ALLOWED,
    B_BAD_DATA,
    B_DONT_DO_THAT,
    B_UNSUPPORTED,

    B_STORAGE_ERROR_BASE = B_GENERAL_ERROR_BASE + 0x6000,
    B_FILE_ERROR = B_STORAGE_ERROR_BASE,
    B_FILE_NOT_FOUND,
    B_FILE_EXISTS,
    B_ENTRY_NOT_FOUND,
    B_NAME_TOO_LONG,
    B_NOT_A_DIRECTORY,
    B_DIRECTORY_NOT_EMPTY,
    B_DEVICE_FULL,
    B_READ_ONLY_DEVICE,
    B_IS_A_DIRECTORY,
    B_NO_MORE_FDS,
    B_CROSS_DEVICE_LINK,
    B_LINK_LIMIT,
    B_BUSTED_PIPE,
    B_UNSUPPORTED_OPERATION,
    B_PARTITION_TOO_SMALL,

    B_APP_ERROR_BASE = B_GENERAL_ERROR_BASE + 0x3000,
    B_BAD_REPLY = B_APP_ERROR_BASE,
    B_DUPLICATE_REPLY,
    B_MESSAGE_TO_SELF,
    B_BAD_HANDLER,
    B_ALREADY_RUNNING,
    B_LAUNCH_FAILED,
    B_AMBIGUOUS_APP_LAUNCH,
    B_UNKNOWN_MIME_TYPE,
    B_BAD_SCRIPT_SYNTAX,
    B_LAUNCH_FAILED_NO_RESOLVE_LINK,
    B_LAUNCH_FAILED_EXECUTABLE,
    B_LAUNCH_FAILED_APP_NOT_FOUND,
    B_LAUNCH_FAILED_APP_IN_TRASH,
    B_LAUNCH_FAILED_NO_PREFERRED_APP,
    B_LAUNCH_FAILED_FILES_APP_NOT_FOUND,
    B_BAD_MIME_SNIFFER_RULE,
    B_NOT_A_MESSAGE,
    B_SHUTDOWN_CANCELLED,
    B_SHUTTING_DOWN,

    B_TRANSLATION_ERROR_BASE = B_GENERAL_ERROR_BASE + 0x4800,
    B_NO_TRANSLATOR = B_TRANSLATION_ERROR_BASE,
    B_ILLEGAL_DATA,
};

// Maps an errno value onto the closest result code.
status_t StatusFromErrno(int error);

// A short French description of a result code, for messages shown to the user.
const char* StatusText(status_t status);

// Type codes of message fields and attributes.
enum : type_code {
    B_ANY_TYPE = FourCC("ANYT"),
    B_BOOL_TYPE = FourCC("BOOL"),
    B_INT8_TYPE = FourCC("BYTE"),
    B_INT16_TYPE = FourCC("SHRT"),
    B_INT32_TYPE = FourCC("LONG"),
    B_INT64_TYPE = FourCC("LLNG"),
    B_UINT8_TYPE = FourCC("UBYT"),
    B_UINT16_TYPE = FourCC("USHT"),
    B_UINT32_TYPE = FourCC("ULNG"),
    B_UINT64_TYPE = FourCC("ULLG"),
    B_FLOAT_TYPE = FourCC("FLOT"),
    B_DOUBLE_TYPE = FourCC("DBLE"),
    B_STRING_TYPE = FourCC("CSTR"),
    B_REF_TYPE = FourCC("RREF"),
    B_RECT_TYPE = FourCC("RECT"),
    B_POINT_TYPE = FourCC("BPNT"),
    B_RGB_COLOR_TYPE = FourCC("RGBC"),
    B_MESSAGE_TYPE = FourCC("MSGG"),
    B_RAW_TYPE = FourCC("RAWT"),
    B_MIME_STRING_TYPE = FourCC("MIMS"),
};

constexpr bigtime_t B_INFINITE_TIMEOUT = INT64_MAX;
