// SPDX-License-Identifier: MIT
// The flattened form, all integers little-endian:
//
//   message := magic "OrvM" | version u32 (1) | total length u32 (whole message, header
//              included) | what u32 | field count u32 | field*
//   field   := name length u32 | name bytes (no NUL) | type u32 | flags u32 (bit 0: fixed
//              size) | value count u32 | (value length u32 | value bytes)*
//
// Every value is stored in memory exactly as it is flattened, so flattening is a copy and
// unflattening is a check. A nested message is a value holding a whole flattened message.
// The form is canonical: unflattening then flattening gives back the same bytes.
#include "platform/support/Message.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/support/ErrorReason.h"

// Values are kept in host order and flattened as they are; every machine this program
// runs on is little-endian, and the flattened form is defined as little-endian.
static_assert(std::endian::native == std::endian::little, "flattened messages are little-endian");

namespace {

using Value = std::vector<uint8>;

constexpr uint32 kMagic = 0x4D76724F;  // "OrvM" read as a little-endian word
constexpr uint32 kVersion = 1;
constexpr size_t kHeaderSize = 5 * 4;
constexpr uint32 kFlagFixedSize = 1;
constexpr size_t kMinFieldSize = 4 * 4;

// The size every value of a known fixed-size type must have; 0 for any other type.
size_t FixedSizeOf(type_code type) {
    switch (type) {
        case B_BOOL_TYPE:
        case B_INT8_TYPE:
        case B_UINT8_TYPE:
            return 1;
        case B_INT16_TYPE:
        case B_UINT16_TYPE:
            return 2;
        case B_INT32_TYPE:
        case B_UINT32_TYPE:
        case B_FLOAT_TYPE:
        case B_RGB_COLOR_TYPE:
            return 4;
        case B_INT64_TYPE:
        case B_UINT64_TYPE:
        case B_DOUBLE_TYPE:
        case B_POINT_TYPE:
            return 8;
        case B_RECT_TYPE:
            return 16;
        default:
            return 0;
    }
}

// A reference travels as "directory\0leaf\0".
Value PackRef(const entry_ref& ref) {
    Value bytes;
    bytes.reserve(ref.directory.size() + ref.name.size() + 2);
    bytes.insert(bytes.end(), ref.directory.begin(), ref.directory.end());
    bytes.push_back(0);
    bytes.insert(bytes.end(), ref.name.begin(), ref.name.end());
    bytes.push_back(0);
    return bytes;
}

bool UnpackRef(const uint8* data, size_t size, entry_ref* ref) {
    std::string_view all(reinterpret_cast<const char*>(data), size);
    size_t firstNul = all.find('\0');
    if (firstNul == std::string_view::npos || size == 0 || all.back() != '\0') {
        return false;
    }
    std::string_view directory = all.substr(0, firstNul);
    std::string_view leaf = all.substr(firstNul + 1, size - firstNul - 2);
    if (firstNul + 1 >= size || leaf.find('\0') != std::string_view::npos) {
        return false;
    }
    // Hostile input must not name something outside the folder it claims.
    if (directory.empty() || directory[0] != '/' || leaf.empty() ||
        leaf.find('/') != std::string_view::npos || leaf == "." || leaf == "..") {
        return false;
    }
    if (ref != nullptr) {
        ref->directory.assign(directory);
        ref->name.assign(leaf);
    }
    return true;
}

void PutU32(std::vector<uint8>* out, uint32 value) {
    const size_t at = out->size();
    out->resize(at + 4);
    std::memcpy(out->data() + at, &value, 4);
}

// Reads the flattened form front to back; every read is checked against what remains.
class Reader {
public:
    Reader(const uint8* data, size_t size) : fData(data), fLeft(size) {}

    bool U32(uint32* value) {
        if (fLeft < 4) {
            return false;
        }
        std::memcpy(value, fData, 4);
        fData += 4;
        fLeft -= 4;
        return true;
    }
    bool Bytes(size_t count, const uint8** bytes) {
        if (count > fLeft) {
            return false;
        }
        *bytes = fData;
        fData += count;
        fLeft -= count;
        return true;
    }
    size_t Left() const { return fLeft; }

private:
    const uint8* fData;
    size_t fLeft;
};

}  // namespace

struct BMessage::Field {
    std::string name;
    type_code type = 0;
    bool fixedSize = true;
    std::vector<Value> values;
};

namespace {

// Checks one value of a type other than a nested message.
status_t CheckValue(type_code type, const uint8* data, size_t size);

// What a call about a field that is not there answers.
status_t MissingField(const char* name) {
    return name == nullptr ? B_BAD_VALUE : B_NAME_NOT_FOUND;
}

// ---- what a message takes in memory, counted before it is taken

// A block of `size` bytes from malloc: a header word, rounded up to 16, never under 32.
size_t HeapBlock(size_t size) {
    return size == 0 ? 0 : std::max<size_t>(32, (size + 8 + 15) & ~size_t(15));
}

// One value: its element in the field, its bytes, and the copy a reader makes of a string
// or a reference (an entry_ref holds the folder and the leaf in two strings).
size_t ValueCost(type_code type, size_t length) {
    size_t cost = sizeof(Value) + HeapBlock(length);
    switch (type) {
        case B_STRING_TYPE:
        case B_MIME_STRING_TYPE:
            return cost + sizeof(std::string) + HeapBlock(length);
        case B_REF_TYPE:
            return cost + sizeof(entry_ref) + HeapBlock(length) + HeapBlock(1);
        default:
            return cost;
    }
}

// Takes `count` × `each` from what a message may still take; false, taking nothing, when
// that is more than is left.
bool Spend(size_t* left, size_t count, size_t each) {
    if (each != 0 && count > *left / each) {
        return false;
    }
    *left -= count * each;
    return true;
}

status_t OverBound(size_t bound, const char* what) {
    return orv::Fail(B_NO_MEMORY, "message : plus de " + std::to_string(bound) + what);
}
status_t TooManyFields() {
    return OverBound(BMessage::kMaxFieldCount, " champs");
}
status_t TooManyValues() {
    return OverBound(BMessage::kMaxValueCount, " valeurs dans un champ");
}
status_t TooMuchMemory() {
    return OverBound(BMessage::kMaxUnflattenedMemory >> 20, " Mo une fois lu en mémoire");
}

}  // namespace

// Checks one value as a field of `type` may hold it. Used both by the Add and Replace calls
// and by Unflatten, so that anything a message holds can be flattened and read back; a
// nested message is checked by unflattening it, at the depth it is found, from the memory
// the whole message may still take.
status_t BMessage::CheckAnyValue(type_code type, const uint8* data, size_t size, int depth,
                                 size_t* memoryLeft) {
    return type == B_MESSAGE_TYPE ? BMessage().UnflattenAt(data, size, depth, memoryLeft)
                                  : CheckValue(type, data, size);
}

size_t BMessage::FieldCost(size_t nameLength) {
    return sizeof(std::unique_ptr<Field>) + HeapBlock(sizeof(Field)) + HeapBlock(nameLength);
}

// ---- construction and copying

BMessage::BMessage() = default;

BMessage::BMessage(uint32 code) : what(code) {}

BMessage::BMessage(const BMessage& other) : what(other.what) {
    fFields.reserve(other.fFields.size());
    for (const auto& field : other.fFields) {
        fFields.push_back(std::make_unique<Field>(*field));
    }
}

BMessage::BMessage(BMessage&& other) noexcept
    : what(other.what), fFields(std::move(other.fFields)) {
    other.fFields.clear();
}

BMessage& BMessage::operator=(const BMessage& other) {
    if (this != &other) {
        BMessage copy(other);
        *this = std::move(copy);
    }
    return *this;
}

BMessage& BMessage::operator=(BMessage&& other) noexcept {
    if (this != &other) {
        what = other.what;
        fFields = std::move(other.fFields);
        other.fFields.clear();
    }
    return *this;
}

BMessage::~BMessage() = default;

// ---- fields

BMessage::Field* BMessage::FindField(const char* name) {
    return const_cast<Field*>(std::as_const(*this).FindField(name));
}

const BMessage::Field* BMessage::FindField(const char* name) const {
    if (name == nullptr) {
        return nullptr;
    }
    for (const auto& field : fFields) {
        if (field->name == name) {
            return field.get();
        }
    }
    return nullptr;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, int32* countFound) const {
    const Field* field = FindField(name);
    if (field == nullptr) {
        return MissingField(name);
    }
    if (typeFound != nullptr) {
        *typeFound = field->type;
    }
    if (countFound != nullptr) {
        *countFound = int32(field->values.size());
    }
    return B_OK;
}

status_t BMessage::GetInfo(type_code type, int32 index, const char** nameFound,
                           type_code* typeFound, int32* countFound) const {
    if (index < 0) {
        return B_BAD_INDEX;
    }
    int32 seen = 0;
    for (const auto& field : fFields) {
        if (type != B_ANY_TYPE && field->type != type) {
            continue;
        }
        if (seen++ == index) {
            if (nameFound != nullptr) {
                *nameFound = field->name.c_str();
            }
            if (typeFound != nullptr) {
                *typeFound = field->type;
            }
            if (countFound != nullptr) {
                *countFound = int32(field->values.size());
            }
            return B_OK;
        }
    }
    return seen == 0 ? B_BAD_TYPE : B_BAD_INDEX;
}

int32 BMessage::CountNames(type_code type) const {
    int32 count = 0;
    for (const auto& field : fFields) {
        if (type == B_ANY_TYPE || field->type == type) {
            ++count;
        }
    }
    return count;
}

bool BMessage::HasData(const char* name, type_code type, int32 index) const {
    const Field* field = FindField(name);
    return field != nullptr && (type == B_ANY_TYPE || field->type == type) && index >= 0 &&
           size_t(index) < field->values.size();
}

bool BMessage::IsEmpty() const {
    return fFields.empty();
}

status_t BMessage::RemoveData(const char* name, int32 index) {
    Field* field = FindField(name);
    if (field == nullptr) {
        return MissingField(name);
    }
    if (index < 0 || size_t(index) >= field->values.size()) {
        return B_BAD_INDEX;
    }
    field->values.erase(field->values.begin() + index);
    if (field->values.empty()) {
        return RemoveName(name);
    }
    return B_OK;
}

status_t BMessage::RemoveName(const char* name) {
    if (name == nullptr) {
        return B_BAD_VALUE;
    }
    for (auto it = fFields.begin(); it != fFields.end(); ++it) {
        if ((*it)->name == name) {
            fFields.erase(it);
            return B_OK;
        }
    }
    return B_NAME_NOT_FOUND;
}

status_t BMessage::MakeEmpty() {
    fFields.clear();
    return B_OK;
}

// ---- raw access

status_t BMessage::AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
                           bool isFixedSize, int32 /*count*/) {
    if (name == nullptr || numBytes < 0 || (data == nullptr && numBytes > 0) ||
        type == B_ANY_TYPE) {
        return B_BAD_VALUE;
    }
    const auto* bytes = static_cast<const uint8*>(data);
    status_t status = CheckAnyValue(type, bytes, size_t(numBytes), 1);
    if (status != B_OK) {
        return status;
    }
    Field* field = FindField(name);
    if (field == nullptr) {
        auto created = std::make_unique<Field>();
        created->name = name;
        created->type = type;
        created->fixedSize = isFixedSize;
        field = created.get();
        fFields.push_back(std::move(created));
    } else if (field->type != type) {
        return B_BAD_TYPE;
    } else if (field->fixedSize && field->values.front().size() != size_t(numBytes)) {
        return B_BAD_VALUE;
    }
    field->values.emplace_back(bytes, bytes + numBytes);
    return B_OK;
}

status_t BMessage::FindData(const char* name, type_code type, int32 index, const void** data,
                            ssize_t* numBytes) const {
    if (data == nullptr) {
        return B_BAD_VALUE;
    }
    const Field* field = FindField(name);
    if (field == nullptr) {
        return MissingField(name);
    }
    if (type != B_ANY_TYPE && field->type != type) {
        return B_BAD_TYPE;
    }
    if (index < 0 || size_t(index) >= field->values.size()) {
        return B_BAD_INDEX;
    }
    const Value& value = field->values[size_t(index)];
    *data = value.data();
    if (numBytes != nullptr) {
        *numBytes = ssize_t(value.size());
    }
    return B_OK;
}

status_t BMessage::FindData(const char* name, type_code type, const void** data,
                            ssize_t* numBytes) const {
    return FindData(name, type, 0, data, numBytes);
}

status_t BMessage::ReplaceData(const char* name, type_code type, int32 index, const void* data,
                               ssize_t numBytes) {
    if (numBytes < 0 || (data == nullptr && numBytes > 0)) {
        return B_BAD_VALUE;
    }
    Field* field = FindField(name);
    if (field == nullptr) {
        return MissingField(name);
    }
    if (field->type != type) {
        return B_BAD_TYPE;
    }
    if (index < 0 || size_t(index) >= field->values.size()) {
        return B_BAD_INDEX;
    }
    const auto* bytes = static_cast<const uint8*>(data);
    status_t status = CheckAnyValue(type, bytes, size_t(numBytes), 1);
    if (status != B_OK) {
        return status;
    }
    Value& value = field->values[size_t(index)];
    if (field->fixedSize && value.size() != size_t(numBytes)) {
        return B_BAD_VALUE;
    }
    value.assign(bytes, bytes + numBytes);
    return B_OK;
}

// ---- typed access

namespace {

struct PackedRect {
    float left, top, right, bottom;
};
static_assert(sizeof(PackedRect) == 16);

}  // namespace

status_t BMessage::AddBool(const char* name, bool value) {
    const uint8 byte = value ? 1 : 0;
    return AddData(name, B_BOOL_TYPE, &byte, 1);
}
status_t BMessage::AddString(const char* name, const char* value) {
    if (value == nullptr) {
        return B_BAD_VALUE;
    }
    return AddData(name, B_STRING_TYPE, value, ssize_t(std::strlen(value) + 1), false);
}
status_t BMessage::AddString(const char* name, const std::string& value) {
    // Only the text up to a NUL inside it can be read back as a C string.
    return AddString(name, value.c_str());
}
status_t BMessage::AddRef(const char* name, const entry_ref* ref) {
    if (ref == nullptr) {
        return B_BAD_VALUE;
    }
    Value bytes = PackRef(*ref);
    return AddData(name, B_REF_TYPE, bytes.data(), ssize_t(bytes.size()), false);
}
status_t BMessage::AddRect(const char* name, BRect rect) {
    PackedRect packed{rect.left, rect.top, rect.right, rect.bottom};
    return AddData(name, B_RECT_TYPE, &packed, sizeof packed);
}
status_t BMessage::AddMessage(const char* name, const BMessage* message) {
    if (message == nullptr) {
        return B_BAD_VALUE;
    }
    std::vector<uint8> bytes;
    status_t status = message->Flatten(&bytes);
    if (status != B_OK) {
        return status;
    }
    return AddData(name, B_MESSAGE_TYPE, bytes.data(), ssize_t(bytes.size()), false);
}

status_t BMessage::FindBool(const char* name, int32 index, bool* value) const {
    uint8 byte = 0;
    status_t status = value == nullptr ? B_BAD_VALUE : FindFixed(name, B_BOOL_TYPE, index, &byte);
    if (status == B_OK) {
        *value = byte != 0;
    }
    return status;
}
status_t BMessage::FindString(const char* name, int32 index, const char** value) const {
    if (value == nullptr) {
        return B_BAD_VALUE;
    }
    const void* data = nullptr;
    status_t status = FindData(name, B_STRING_TYPE, index, &data, nullptr);
    if (status == B_OK) {
        *value = static_cast<const char*>(data);
    }
    return status;
}
status_t BMessage::FindString(const char* name, int32 index, std::string* value) const {
    const char* text = nullptr;
    status_t status = FindString(name, index, &text);
    if (status == B_OK && value != nullptr) {
        value->assign(text);
    }
    return value == nullptr ? B_BAD_VALUE : status;
}
status_t BMessage::FindRef(const char* name, int32 index, entry_ref* ref) const {
    if (ref == nullptr) {
        return B_BAD_VALUE;
    }
    const void* data = nullptr;
    ssize_t size = 0;
    status_t status = FindData(name, B_REF_TYPE, index, &data, &size);
    if (status != B_OK) {
        return status;
    }
    return UnpackRef(static_cast<const uint8*>(data), size_t(size), ref) ? B_OK : B_BAD_DATA;
}
status_t BMessage::FindRect(const char* name, int32 index, BRect* rect) const {
    if (rect == nullptr) {
        return B_BAD_VALUE;
    }
    PackedRect packed{};
    status_t status = FindFixed(name, B_RECT_TYPE, index, &packed);
    if (status == B_OK) {
        rect->Set(packed.left, packed.top, packed.right, packed.bottom);
    }
    return status;
}
status_t BMessage::FindMessage(const char* name, int32 index, BMessage* message) const {
    if (message == nullptr) {
        return B_BAD_VALUE;
    }
    const void* data = nullptr;
    ssize_t size = 0;
    status_t status = FindData(name, B_MESSAGE_TYPE, index, &data, &size);
    if (status != B_OK) {
        return status;
    }
    return message->Unflatten(data, size_t(size));
}

status_t BMessage::ReplaceBool(const char* name, int32 index, bool value) {
    const uint8 byte = value ? 1 : 0;
    return ReplaceData(name, B_BOOL_TYPE, index, &byte, 1);
}
status_t BMessage::ReplaceString(const char* name, int32 index, const char* value) {
    if (value == nullptr) {
        return B_BAD_VALUE;
    }
    return ReplaceData(name, B_STRING_TYPE, index, value, ssize_t(std::strlen(value) + 1));
}
status_t BMessage::ReplaceRef(const char* name, int32 index, const entry_ref* ref) {
    if (ref == nullptr) {
        return B_BAD_VALUE;
    }
    Value bytes = PackRef(*ref);
    return ReplaceData(name, B_REF_TYPE, index, bytes.data(), ssize_t(bytes.size()));
}

bool BMessage::GetBool(const char* name, bool defaultValue) const {
    bool value = false;
    return FindBool(name, &value) == B_OK ? value : defaultValue;
}
int32 BMessage::GetInt32(const char* name, int32 defaultValue) const {
    int32 value = 0;
    return FindInt32(name, &value) == B_OK ? value : defaultValue;
}
int64 BMessage::GetInt64(const char* name, int64 defaultValue) const {
    int64 value = 0;
    return FindInt64(name, &value) == B_OK ? value : defaultValue;
}
const char* BMessage::GetString(const char* name, const char* defaultValue) const {
    const char* value = nullptr;
    return FindString(name, &value) == B_OK ? value : defaultValue;
}

// ---- flattening

ssize_t BMessage::FlattenedSize() const {
    // Values are bounded by memory, so the sum fits; the bound is checked by Flatten.
    size_t size = kHeaderSize;
    for (const auto& field : fFields) {
        size += kMinFieldSize + field->name.size();
        for (const Value& value : field->values) {
            size += 4 + value.size();
        }
    }
    return ssize_t(size);
}

status_t BMessage::Flatten(std::vector<uint8>* out) const {
    if (out == nullptr) {
        return B_BAD_VALUE;
    }
    size_t size = size_t(FlattenedSize());
    if (size > kMaxFlattenedSize) {
        return orv::Fail(B_NO_MEMORY, "message trop volumineux");
    }
    // Refused here, with its reason, rather than by the process it is sent to. A nested
    // message counts as its bytes here; the receiver counts what it holds as well.
    if (fFields.size() > kMaxFieldCount) {
        return TooManyFields();
    }
    size_t memoryLeft = kMaxUnflattenedMemory;
    for (const auto& field : fFields) {
        if (field->values.size() > kMaxValueCount) {
            return TooManyValues();
        }
        if (!Spend(&memoryLeft, 1, FieldCost(field->name.size()))) {
            return TooMuchMemory();
        }
        for (const Value& value : field->values) {
            if (!Spend(&memoryLeft, 1, ValueCost(field->type, value.size()))) {
                return TooMuchMemory();
            }
        }
    }
    out->clear();
    out->reserve(size);
    PutU32(out, kMagic);
    PutU32(out, kVersion);
    PutU32(out, uint32(size));
    PutU32(out, what);
    PutU32(out, uint32(fFields.size()));
    for (const auto& field : fFields) {
        PutU32(out, uint32(field->name.size()));
        out->insert(out->end(), field->name.begin(), field->name.end());
        PutU32(out, field->type);
        PutU32(out, field->fixedSize ? kFlagFixedSize : 0);
        PutU32(out, uint32(field->values.size()));
        for (const Value& value : field->values) {
            PutU32(out, uint32(value.size()));
            out->insert(out->end(), value.begin(), value.end());
        }
    }
    return B_OK;
}

status_t BMessage::Flatten(char* buffer, ssize_t size) const {
    if (buffer == nullptr || size < 0) {
        return B_BAD_VALUE;
    }
    std::vector<uint8> bytes;
    status_t status = Flatten(&bytes);
    if (status != B_OK) {
        return status;
    }
    if (bytes.size() > size_t(size)) {
        return B_BAD_VALUE;
    }
    std::memcpy(buffer, bytes.data(), bytes.size());
    return B_OK;
}

status_t BMessage::Unflatten(const void* data, size_t size) {
    // Parsed aside first: the bytes may live inside this very message (a nested message
    // unflattened over its parent).
    BMessage parsed;
    status_t status = data == nullptr
                          ? B_BAD_VALUE
                          : parsed.UnflattenAt(static_cast<const uint8*>(data), size, 0);
    if (status != B_OK) {
        parsed.MakeEmpty();
        parsed.what = 0;
    }
    *this = std::move(parsed);
    return status;
}

status_t BMessage::UnflattenAt(const uint8* data, size_t size, int depth, size_t* memoryLeft) {
    if (depth > kMaxNestingDepth) {
        return orv::Fail(B_BAD_DATA, "message : imbrication trop profonde");
    }
    size_t ownMemory = kMaxUnflattenedMemory;
    if (memoryLeft == nullptr) {
        memoryLeft = &ownMemory;
    }
    if (size > kMaxFlattenedSize) {
        return orv::Fail(B_NO_MEMORY, "message trop volumineux");
    }
    Reader reader(data, size);
    uint32 magic = 0;
    uint32 version = 0;
    uint32 total = 0;
    uint32 fieldCount = 0;
    if (!reader.U32(&magic) || magic != kMagic) {
        return orv::Fail(B_NOT_A_MESSAGE, "ce n’est pas un message");
    }
    if (!reader.U32(&version) || version != kVersion) {
        return orv::Fail(B_NOT_A_MESSAGE, "version de message inconnue");
    }
    auto malformed = [] { return orv::Fail(B_BAD_DATA, "message tronqué ou malformé"); };
    if (!reader.U32(&total) || total != size || !reader.U32(&what) || !reader.U32(&fieldCount) ||
        fieldCount > reader.Left() / kMinFieldSize) {
        return malformed();
    }
    // What the counts declare is paid for before it is reserved, so a count alone never
    // makes this allocate: each field at least, then each value of a field with its least.
    if (fieldCount > kMaxFieldCount) {
        return TooManyFields();
    }
    if (!Spend(memoryLeft, fieldCount, FieldCost(0))) {
        return TooMuchMemory();
    }
    fFields.reserve(fieldCount);
    for (uint32 i = 0; i < fieldCount; ++i) {
        auto field = std::make_unique<Field>();
        uint32 nameLength = 0;
        const uint8* name = nullptr;
        uint32 flags = 0;
        uint32 valueCount = 0;
        if (!reader.U32(&nameLength) || !reader.Bytes(nameLength, &name) ||
            !reader.U32(&field->type) || !reader.U32(&flags) || !reader.U32(&valueCount)) {
            return malformed();
        }
        if (!Spend(memoryLeft, 1, FieldCost(nameLength) - FieldCost(0))) {
            return TooMuchMemory();
        }
        field->name.assign(reinterpret_cast<const char*>(name), nameLength);
        // Every field holds at least one value of its own type under a name no other field
        // has, since that is all Add can build.
        if (field->name.find('\0') != std::string::npos || (flags & ~kFlagFixedSize) != 0 ||
            valueCount == 0 || valueCount > reader.Left() / 4 || field->type == B_ANY_TYPE ||
            FindField(field->name.c_str()) != nullptr) {
            return malformed();
        }
        if (valueCount > kMaxValueCount) {
            return TooManyValues();
        }
        const size_t leastValueCost = ValueCost(field->type, 0);
        if (!Spend(memoryLeft, valueCount, leastValueCost)) {
            return TooMuchMemory();
        }
        field->fixedSize = (flags & kFlagFixedSize) != 0;
        field->values.reserve(valueCount);
        for (uint32 v = 0; v < valueCount; ++v) {
            uint32 valueLength = 0;
            const uint8* value = nullptr;
            if (!reader.U32(&valueLength) || !reader.Bytes(valueLength, &value)) {
                return malformed();
            }
            if (field->fixedSize && v > 0 && valueLength != field->values.front().size()) {
                return malformed();
            }
            // A nested message is charged for what it holds as well, as reading it takes that.
            if (!Spend(memoryLeft, 1, ValueCost(field->type, valueLength) - leastValueCost)) {
                return TooMuchMemory();
            }
            status_t status = CheckAnyValue(field->type, value, valueLength, depth + 1, memoryLeft);
            if (status != B_OK) {
                return status;
            }
            field->values.emplace_back(value, value + valueLength);
        }
        fFields.push_back(std::move(field));
    }
    if (reader.Left() != 0) {
        return malformed();
    }
    return B_OK;
}

namespace {

status_t CheckValue(type_code type, const uint8* data, size_t size) {
    size_t fixed = FixedSizeOf(type);
    if (fixed != 0 && size != fixed) {
        return orv::Fail(B_BAD_DATA, "message : valeur de taille incorrecte");
    }
    switch (type) {
        case B_STRING_TYPE:
        case B_MIME_STRING_TYPE:
            if (size == 0 || data[size - 1] != 0) {
                return orv::Fail(B_BAD_DATA, "message : chaîne non terminée");
            }
            return B_OK;
        case B_REF_TYPE:
            if (!UnpackRef(data, size, nullptr)) {
                return orv::Fail(B_BAD_DATA, "message : référence de fichier incorrecte");
            }
            return B_OK;
        default:
            return B_OK;
    }
}

}  // namespace

// ---- dumping

namespace {

std::string CodeText(uint32 code) {
    char chars[4] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
    bool printable = true;
    for (char c : chars) {
        printable = printable && c >= 0x20 && c < 0x7F;
    }
    char text[32];
    if (printable) {
        std::snprintf(text, sizeof text, "'%.4s'", chars);
    } else {
        std::snprintf(text, sizeof text, "%" PRIu32, code);
    }
    return text;
}

std::string Indent(int depth) {
    return std::string(size_t(depth) * 4, ' ');
}

template <typename T>
T Load(const Value& value) {
    T result{};
    std::memcpy(&result, value.data(), sizeof(T));
    return result;
}

std::string ValueText(type_code type, const Value& value, int depth) {
    char text[128];
    switch (type) {
        case B_BOOL_TYPE:
            return value[0] != 0 ? "true" : "false";
        case B_INT8_TYPE:
            return std::to_string(int(Load<int8>(value)));
        case B_UINT8_TYPE:
            return std::to_string(unsigned(value[0]));
        case B_INT16_TYPE:
            return std::to_string(Load<int16>(value));
        case B_UINT16_TYPE:
            return std::to_string(Load<uint16>(value));
        case B_INT32_TYPE:
            return std::to_string(Load<int32>(value));
        case B_UINT32_TYPE:
            return std::to_string(Load<uint32>(value));
        case B_INT64_TYPE:
            return std::to_string(Load<int64>(value));
        case B_UINT64_TYPE:
            return std::to_string(Load<uint64>(value));
        case B_FLOAT_TYPE:
            std::snprintf(text, sizeof text, "%g", double(Load<float>(value)));
            return text;
        case B_DOUBLE_TYPE:
            std::snprintf(text, sizeof text, "%g", Load<double>(value));
            return text;
        case B_STRING_TYPE:
        case B_MIME_STRING_TYPE: {
            std::string quoted = "\"";
            quoted += reinterpret_cast<const char*>(value.data());
            return quoted += '"';
        }
        case B_RECT_TYPE: {
            auto rect = Load<PackedRect>(value);
            std::snprintf(text, sizeof text, "BRect(%g, %g, %g, %g)", double(rect.left),
                          double(rect.top), double(rect.right), double(rect.bottom));
            return text;
        }
        case B_REF_TYPE: {
            entry_ref ref;
            UnpackRef(value.data(), value.size(), &ref);
            return "entry_ref(\"" + ref.Path() + "\")";
        }
        case B_MESSAGE_TYPE: {
            BMessage nested;
            nested.Unflatten(value.data(), value.size());
            std::string dump = nested.ToString();
            // Indent the nested dump's inner lines under this field.
            std::string indented;
            for (char c : dump) {
                indented += c;
                if (c == '\n') {
                    indented += Indent(depth);
                }
            }
            return indented;
        }
        default: {
            std::string size = "(";
            size += std::to_string(value.size());
            return size += " octets)";
        }
    }
}

}  // namespace

std::string BMessage::ToString() const {
    std::string text = "BMessage(";
    text += CodeText(what);
    text += ") {\n";
    for (const auto& field : fFields) {
        text += "    ";
        text += field->name;
        text += ' ';
        text += CodeText(field->type);
        text += " =";
        for (const Value& value : field->values) {
            text += ' ';
            text += ValueText(field->type, value, 1);
        }
        text += "\n";
    }
    text += "}";
    return text;
}
