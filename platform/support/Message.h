// SPDX-License-Identifier: MIT
// BMessage: a command code and named, typed fields, each holding one or more values.
//
// Messages carry every command and file list, and cross a socket between two instances
// of the program, so Unflatten treats its input as hostile: anything malformed or over
// kMaxFlattenedSize is refused with an error, never a crash.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/support/EntryRef.h"
#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

class BMessage {
public:
    uint32 what = 0;

    // The largest flattened message accepted, and so the largest that may be sent.
    static constexpr size_t kMaxFlattenedSize = size_t(64) << 20;
    // The most memory an unflattened message may take: every field and value with its
    // bookkeeping, its bytes, and the string or entry_ref a reader makes of it. An empty value
    // is four bytes flattened but some fifty in memory, so the size bound alone does not
    // bound this. 100 000 references to 250-byte paths take about 66 MB.
    static constexpr size_t kMaxUnflattenedMemory = size_t(256) << 20;
    // Fields in one message, and values in one field: far more than any message of the
    // program holds (a file list is one field).
    static constexpr size_t kMaxFieldCount = 4096;
    static constexpr size_t kMaxValueCount = size_t(1) << 20;
    // Nested messages deeper than this are refused when unflattening.
    static constexpr int kMaxNestingDepth = 32;

    BMessage();
    explicit BMessage(uint32 what);
    BMessage(const BMessage& other);
    BMessage(BMessage&& other) noexcept;
    BMessage& operator=(const BMessage& other);
    BMessage& operator=(BMessage&& other) noexcept;
    virtual ~BMessage();

    // Fields.
    status_t GetInfo(const char* name, type_code* typeFound, int32* countFound = nullptr) const;
    // Iterates over the fields of one type (B_ANY_TYPE for all), in the order they were added.
    status_t GetInfo(type_code type, int32 index, const char** nameFound, type_code* typeFound,
                     int32* countFound = nullptr) const;
    int32 CountNames(type_code type) const;
    bool HasData(const char* name, type_code type, int32 index = 0) const;
    bool IsEmpty() const;
    status_t RemoveData(const char* name, int32 index = 0);
    status_t RemoveName(const char* name);
    status_t MakeEmpty();

    // Raw access. A field holds values of one type only; adding another type under an
    // existing name gives B_BAD_TYPE.
    status_t AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
                     bool isFixedSize = true, int32 count = 1);
    status_t FindData(const char* name, type_code type, int32 index, const void** data,
                      ssize_t* numBytes) const;
    status_t FindData(const char* name, type_code type, const void** data, ssize_t* numBytes) const;
    status_t ReplaceData(const char* name, type_code type, int32 index, const void* data,
                         ssize_t numBytes);

    // Typed values. Each Find and Replace without an index reads or replaces value 0.
    status_t AddBool(const char* name, bool value);
    status_t AddInt8(const char* name, int8 value) { return AddFixed(name, B_INT8_TYPE, value); }
    status_t AddInt16(const char* name, int16 value) { return AddFixed(name, B_INT16_TYPE, value); }
    status_t AddInt32(const char* name, int32 value) { return AddFixed(name, B_INT32_TYPE, value); }
    status_t AddInt64(const char* name, int64 value) { return AddFixed(name, B_INT64_TYPE, value); }
    status_t AddUInt32(const char* name, uint32 value) {
        return AddFixed(name, B_UINT32_TYPE, value);
    }
    status_t AddFloat(const char* name, float value) { return AddFixed(name, B_FLOAT_TYPE, value); }
    status_t AddDouble(const char* name, double value) {
        return AddFixed(name, B_DOUBLE_TYPE, value);
    }
    status_t AddString(const char* name, const char* value);
    status_t AddString(const char* name, const std::string& value);
    status_t AddRef(const char* name, const entry_ref* ref);
    status_t AddRect(const char* name, BRect rect);
    status_t AddMessage(const char* name, const BMessage* message);

    status_t FindBool(const char* name, int32 index, bool* value) const;
    status_t FindInt8(const char* name, int32 index, int8* value) const {
        return FindFixed(name, B_INT8_TYPE, index, value);
    }
    status_t FindInt16(const char* name, int32 index, int16* value) const {
        return FindFixed(name, B_INT16_TYPE, index, value);
    }
    status_t FindInt32(const char* name, int32 index, int32* value) const {
        return FindFixed(name, B_INT32_TYPE, index, value);
    }
    status_t FindInt64(const char* name, int32 index, int64* value) const {
        return FindFixed(name, B_INT64_TYPE, index, value);
    }
    status_t FindUInt32(const char* name, int32 index, uint32* value) const {
        return FindFixed(name, B_UINT32_TYPE, index, value);
    }
    status_t FindFloat(const char* name, int32 index, float* value) const {
        return FindFixed(name, B_FLOAT_TYPE, index, value);
    }
    status_t FindDouble(const char* name, int32 index, double* value) const {
        return FindFixed(name, B_DOUBLE_TYPE, index, value);
    }
    // The string stays owned by the message and valid until the field changes.
    status_t FindString(const char* name, int32 index, const char** value) const;
    status_t FindString(const char* name, int32 index, std::string* value) const;
    status_t FindRef(const char* name, int32 index, entry_ref* ref) const;
    status_t FindRect(const char* name, int32 index, BRect* rect) const;
    status_t FindMessage(const char* name, int32 index, BMessage* message) const;

    status_t FindBool(const char* name, bool* value) const { return FindBool(name, 0, value); }
    status_t FindInt8(const char* name, int8* value) const { return FindInt8(name, 0, value); }
    status_t FindInt16(const char* name, int16* value) const { return FindInt16(name, 0, value); }
    status_t FindInt32(const char* name, int32* value) const { return FindInt32(name, 0, value); }
    status_t FindInt64(const char* name, int64* value) const { return FindInt64(name, 0, value); }
    status_t FindUInt32(const char* name, uint32* value) const {
        return FindUInt32(name, 0, value);
    }
    status_t FindFloat(const char* name, float* value) const { return FindFloat(name, 0, value); }
    status_t FindDouble(const char* name, double* value) const {
        return FindDouble(name, 0, value);
    }
    status_t FindString(const char* name, const char** value) const {
        return FindString(name, 0, value);
    }
    status_t FindString(const char* name, std::string* value) const {
        return FindString(name, 0, value);
    }
    status_t FindRef(const char* name, entry_ref* ref) const { return FindRef(name, 0, ref); }
    status_t FindRect(const char* name, BRect* rect) const { return FindRect(name, 0, rect); }
    status_t FindMessage(const char* name, BMessage* message) const {
        return FindMessage(name, 0, message);
    }

    status_t ReplaceBool(const char* name, int32 index, bool value);
    status_t ReplaceInt32(const char* name, int32 index, int32 value) {
        return ReplaceData(name, B_INT32_TYPE, index, &value, sizeof value);
    }
    status_t ReplaceString(const char* name, int32 index, const char* value);
    status_t ReplaceRef(const char* name, int32 index, const entry_ref* ref);
    status_t ReplaceBool(const char* name, bool value) { return ReplaceBool(name, 0, value); }
    status_t ReplaceInt32(const char* name, int32 value) { return ReplaceInt32(name, 0, value); }
    status_t ReplaceString(const char* name, const char* value) {
        return ReplaceString(name, 0, value);
    }

    // Value 0 of a field, or `defaultValue` when absent or of another type.
    bool GetBool(const char* name, bool defaultValue = false) const;
    int32 GetInt32(const char* name, int32 defaultValue) const;
    int64 GetInt64(const char* name, int64 defaultValue) const;
    const char* GetString(const char* name, const char* defaultValue = nullptr) const;

    // The flattened form: a versioned, length-prefixed byte string. Unflatten replaces the
    // whole message, and on any error leaves it empty and returns B_BAD_DATA (malformed),
    // B_NOT_A_MESSAGE (wrong magic or version) or B_NO_MEMORY (over a size, count or memory
    // bound, checked before the memory is taken). Flatten refuses what Unflatten would.
    ssize_t FlattenedSize() const;
    status_t Flatten(std::vector<uint8>* out) const;
    status_t Flatten(char* buffer, ssize_t size) const;
    status_t Unflatten(const void* data, size_t size);

    // A readable dump, for debugging and the command line.
    std::string ToString() const;

private:
    struct Field;

    template <typename T>
    status_t AddFixed(const char* name, type_code type, T value) {
        return AddData(name, type, &value, sizeof value);
    }
    // A value of a type whose values all have the size of T.
    template <typename T>
    status_t FindFixed(const char* name, type_code type, int32 index, T* value) const {
        const void* data = nullptr;
        ssize_t size = 0;
        const status_t status =
            value == nullptr ? B_BAD_VALUE : FindData(name, type, index, &data, &size);
        if (status == B_OK && size_t(size) != sizeof(T)) {
            return B_BAD_DATA;
        }
        if (status == B_OK) {
            std::memcpy(value, data, sizeof(T));
        }
        return status;
    }

    // `memoryLeft` is what the whole message, nested ones included, may still take; null
    // for a message of its own, which may take kMaxUnflattenedMemory.
    status_t UnflattenAt(const uint8* data, size_t size, int depth, size_t* memoryLeft = nullptr);
    static status_t CheckAnyValue(type_code type, const uint8* data, size_t size, int depth,
                                  size_t* memoryLeft = nullptr);
    // The memory a field takes besides its values.
    static size_t FieldCost(size_t nameLength);
    Field* FindField(const char* name);
    const Field* FindField(const char* name) const;

    std::vector<std::unique_ptr<Field>> fFields;
};
