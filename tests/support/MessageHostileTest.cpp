// SPDX-License-Identifier: MIT
// Flattened messages arrive from another process: whatever the bytes, Unflatten must either
// give back a sound message or fail and leave the message empty.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/Message.h"

namespace {

std::vector<uint8> Flat(const BMessage& message) {
    std::vector<uint8> bytes;
    EXPECT_EQ(message.Flatten(&bytes), B_OK);
    return bytes;
}

void PutU32At(std::vector<uint8>* bytes, size_t offset, uint32 value) {
    std::memcpy(bytes->data() + offset, &value, 4);
}

BMessage FileList() {
    BMessage message(50);
    entry_ref a("/home/anne", "a.png");
    entry_ref b("/home/anne", "b.jpg");
    message.AddRef("refs", &a);
    message.AddRef("refs", &b);
    message.AddBool("CalledFromAddOn", true);
    BMessage inner(7);
    inner.AddString("s", "x");
    message.AddMessage("inner", &inner);
    return message;
}

// Unflattens into a message that holds something beforehand, and checks a failure left
// it empty.
status_t UnflattenInto(const std::vector<uint8>& bytes, size_t size) {
    BMessage message(99);
    message.AddInt32("old", 1);
    status_t status = message.Unflatten(bytes.data(), size);
    if (status != B_OK) {
        EXPECT_TRUE(message.IsEmpty());
        EXPECT_EQ(message.what, 0u);
    }
    return status;
}

// Offsets in FileList()'s flattened form.
constexpr size_t kTotalOffset = 8;
constexpr size_t kFieldCountOffset = 16;
constexpr size_t kFirstField = 20;

// A flattened message built by hand, as Flatten refuses to build it: `fields` fields of
// `values` empty values each.
std::vector<uint8> EmptyValues(uint32 fields, uint32 values) {
    std::vector<uint8> bytes(kFirstField);
    const uint32 header[] = {0x4D76724F, 1, 0, 50, fields};
    std::memcpy(bytes.data(), header, sizeof header);
    for (uint32 i = 0; i < fields; ++i) {
        const uint32 name = 0x41410101 + (i & 0x7F) + ((i >> 7) << 8);  // four bytes, no NUL
        const uint32 field[] = {4, name, B_RAW_TYPE, 0, values};
        size_t at = bytes.size();
        bytes.resize(at + sizeof field + size_t(values) * 4);  // each value's length: 0
        std::memcpy(bytes.data() + at, field, sizeof field);
    }
    PutU32At(&bytes, kTotalOffset, uint32(bytes.size()));
    return bytes;
}

// The process's peak resident memory in MB; with `restart`, counted again from now.
long PeakMB(bool restart = false) {
    if (restart) {
        std::ofstream("/proc/self/clear_refs") << "5";
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6)) / 1024;
        }
    }
    return -1;
}

}  // namespace

TEST(MessageHostile, EveryTruncationAndExtensionFails) {
    std::vector<uint8> bytes = Flat(FileList());
    for (size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_NE(UnflattenInto(bytes, size), B_OK) << "cut at " << size;
    }
    // The same cut with the total length patched to agree still fails.
    for (size_t size = kFirstField; size < bytes.size(); ++size) {
        std::vector<uint8> cut(bytes.begin(), bytes.begin() + ptrdiff_t(size));
        PutU32At(&cut, kTotalOffset, uint32(size));
        EXPECT_NE(UnflattenInto(cut, size), B_OK) << "consistent cut at " << size;
    }
    std::vector<uint8> longer = bytes;
    longer.push_back(0);
    EXPECT_EQ(UnflattenInto(longer, longer.size()), B_BAD_DATA);
    PutU32At(&longer, kTotalOffset, uint32(longer.size()));
    EXPECT_EQ(UnflattenInto(longer, longer.size()), B_BAD_DATA);
    EXPECT_EQ(UnflattenInto(bytes, bytes.size()), B_OK);
}

TEST(MessageHostile, EveryLengthFieldPointingPastTheEndFails) {
    std::vector<uint8> bytes = Flat(FileList());
    // Any 32-bit word replaced by a large or slightly-too-large value must be refused (or,
    // where the word is plain data like `what`, accepted as a sound message).
    const uint32 values[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x10000000, uint32(bytes.size()),
                             uint32(bytes.size()) + 1};
    for (size_t offset = 0; offset + 4 <= bytes.size(); ++offset) {
        for (uint32 value : values) {
            std::vector<uint8> patched = bytes;
            PutU32At(&patched, offset, value);
            BMessage message;
            if (message.Unflatten(patched.data(), patched.size()) == B_OK) {
                // Whatever got through must flatten back to exactly the same bytes.
                EXPECT_EQ(Flat(message), patched) << "offset " << offset;
            } else {
                EXPECT_TRUE(message.IsEmpty());
            }
        }
    }
}

TEST(MessageHostile, HugeCountsAllocateNothingAndFail) {
    std::vector<uint8> bytes = Flat(FileList());
    std::vector<uint8> patched = bytes;
    PutU32At(&patched, kFieldCountOffset, 0xFFFFFFFF);
    EXPECT_EQ(UnflattenInto(patched, patched.size()), B_BAD_DATA);

    // The value count of the first field ("refs").
    size_t countOffset = kFirstField + 4 + 4 + 4 + 4;
    patched = bytes;
    PutU32At(&patched, countOffset, 0x40000000);
    EXPECT_EQ(UnflattenInto(patched, patched.size()), B_BAD_DATA);
    PutU32At(&patched, countOffset, 0);  // a field with no value cannot be built by Add
    EXPECT_EQ(UnflattenInto(patched, patched.size()), B_BAD_DATA);
}

TEST(MessageHostile, BadMagicVersionAndSizeBound) {
    std::vector<uint8> bytes = Flat(FileList());
    std::vector<uint8> patched = bytes;
    patched[0] ^= 0x20;
    EXPECT_EQ(UnflattenInto(patched, patched.size()), B_NOT_A_MESSAGE);
    patched = bytes;
    PutU32At(&patched, 4, 2);
    EXPECT_EQ(UnflattenInto(patched, patched.size()), B_NOT_A_MESSAGE);

    std::vector<uint8> huge(BMessage::kMaxFlattenedSize + 1);
    std::memcpy(huge.data(), bytes.data(), kFirstField);
    PutU32At(&huge, kTotalOffset, uint32(huge.size()));
    EXPECT_EQ(UnflattenInto(huge, huge.size()), B_NO_MEMORY);

    // And the sender side refuses to build what the receiver would refuse.
    BMessage big;
    std::vector<uint8> blob(BMessage::kMaxFlattenedSize);
    ASSERT_EQ(big.AddData("blob", B_RAW_TYPE, blob.data(), ssize_t(blob.size())), B_OK);
    std::vector<uint8> out;
    EXPECT_EQ(big.Flatten(&out), B_NO_MEMORY);
}

TEST(MessageHostile, WhatAMessageWouldTakeInMemoryIsBoundedBeforeItIsTaken) {
    // Refused for the bound named, with the peak memory grown by less than `mb`.
    auto refused = [](const std::vector<uint8>& bytes, std::string_view bound, long mb) {
        ASSERT_LE(bytes.size(), BMessage::kMaxFlattenedSize);
        long before = PeakMB(true);
        EXPECT_EQ(UnflattenInto(bytes, bytes.size()), B_NO_MEMORY);
        EXPECT_NE(orv::ErrorReason().find(bound), std::string::npos) << orv::ErrorReason();
        EXPECT_LT(PeakMB() - before, mb);
    };
    // 16 million empty values: 64 MB flattened, some 400 MB as values. Nothing is taken.
    refused(EmptyValues(1, (BMessage::kMaxFlattenedSize - 64) / 4), "valeurs", 4);
    // Much the same over fields within the count bound: no more than the memory bound is
    // taken (and a quarter more for the sanitizers' shadow memory).
    refused(EmptyValues(15, uint32(BMessage::kMaxValueCount)), " Mo ",
            long(BMessage::kMaxUnflattenedMemory >> 20) * 5 / 4);
    refused(EmptyValues(uint32(BMessage::kMaxFieldCount) + 1, 1), "champs", 4);
}

TEST(MessageHostile, MalformedValuesFail) {
    // Flattens `message` and overwrites the first `find` after `after` with `replacement`.
    auto patched = [](const BMessage& message, std::string_view after, std::string_view find,
                      std::string_view replacement) {
        std::vector<uint8> bytes = Flat(message);
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        size_t at = text.find(find, text.find(after));
        EXPECT_NE(at, std::string_view::npos) << find;
        std::memcpy(bytes.data() + at, replacement.data(), replacement.size());
        return bytes;
    };
    using namespace std::string_view_literals;
    entry_ref ref("/home/anne", "a.png");
    BMessage refs;
    refs.AddRef("refs", &ref);
    entry_ref leaf("/home/anne", "xy");
    BMessage dots;
    dots.AddRef("refs", &leaf);
    BMessage strings;
    strings.AddString("s", "abcdef");
    BMessage twice;
    twice.AddInt32("a", 1);
    twice.AddInt32("b", 2);

    const std::vector<uint8> cases[] = {
        patched(refs, "refs", "/home", "xhome"),         // relative folder
        patched(refs, "refs", "a.png", "a/png"),         // leaf with a slash
        patched(dots, "refs", "xy", ".."),               // leaf ".."
        patched(refs, "refs", "e\0a.png"sv, "ea.png"),   // folder and leaf run together
        patched(strings, "s", "abcdef\0"sv, "abcdefg"),  // string without its NUL
        patched(strings, "s", "RTSC", "GNOL"),           // 7 bytes cannot be an int32
        patched(twice, "b", "b", "a"),                   // two fields of one name
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(UnflattenInto(cases[i], cases[i].size()), B_BAD_DATA) << "case " << i;
    }
}

TEST(MessageHostile, DeepNestingFailsWithoutExhaustingTheStack) {
    // Built by hand, since Add refuses to build it: each level wraps the one before.
    std::vector<uint8> level = Flat(BMessage(1));
    for (int depth = 0; depth <= BMessage::kMaxNestingDepth + 200; ++depth) {
        BMessage holder(2);
        std::vector<uint8> wrapped = Flat(holder);
        // One field named "m" whose one value is the level before.
        std::vector<uint8> field(21);
        PutU32At(&field, 0, 1);  // the name's length
        field[4] = 'm';
        PutU32At(&field, 5, B_MESSAGE_TYPE);
        PutU32At(&field, 9, 0);   // flags
        PutU32At(&field, 13, 1);  // values
        PutU32At(&field, 17, uint32(level.size()));
        field.insert(field.end(), level.begin(), level.end());
        wrapped.insert(wrapped.end(), field.begin(), field.end());
        PutU32At(&wrapped, kTotalOffset, uint32(wrapped.size()));
        PutU32At(&wrapped, kFieldCountOffset, 1);
        level = std::move(wrapped);
        BMessage message;
        status_t status = message.Unflatten(level.data(), level.size());
        // `depth + 1` nested levels below the top.
        if (depth + 1 <= BMessage::kMaxNestingDepth) {
            ASSERT_EQ(status, B_OK) << depth;
        } else {
            ASSERT_EQ(status, B_BAD_DATA) << depth;
        }
    }
}
