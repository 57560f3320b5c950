// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/support/Message.h"

namespace {

std::vector<uint8> Flat(const BMessage& message) {
    std::vector<uint8> bytes;
    EXPECT_EQ(message.Flatten(&bytes), B_OK);
    return bytes;
}

// A message with one of everything, several values under some names.
BMessage Sample() {
    BMessage inner(FourCC("INNR"));
    inner.AddString("leaf", "feuille");
    inner.AddInt32("n", -7);

    BMessage message(50);
    message.AddBool("CalledFromAddOn", true);
    message.AddInt8("i8", -128);
    message.AddInt16("i16", -32768);
    message.AddInt32("i32", INT32_MIN);
    message.AddInt32("i32", 0x01020304);
    message.AddInt64("i64", INT64_MIN + 1);
    message.AddUInt32("u32", 0xDEADBEEF);
    message.AddFloat("f", -0.5f);
    message.AddDouble("d", 1e300);
    message.AddString("s", "été");
    message.AddString("s", "");
    entry_ref a("/home/anne/Images", "chat.png");
    entry_ref b("/", "racine.jpg");
    message.AddRef("refs", &a);
    message.AddRef("refs", &b);
    message.AddRect("r", BRect(0, 0, 399.5f, -1));
    message.AddMessage("m", &inner);
    const uint8 raw[] = {0, 1, 2, 0xFF};
    message.AddData("raw", B_RAW_TYPE, raw, sizeof raw, false);
    return message;
}

void ExpectSample(const BMessage& message) {
    EXPECT_EQ(message.what, 50u);
    EXPECT_TRUE(message.GetBool("CalledFromAddOn"));
    int8 i8 = 0;
    int16 i16 = 0;
    int32 i32 = 0;
    int64 i64 = 0;
    uint32 u32 = 0;
    float f = 0;
    double d = 0;
    ASSERT_EQ(message.FindInt8("i8", &i8), B_OK);
    ASSERT_EQ(message.FindInt16("i16", &i16), B_OK);
    ASSERT_EQ(message.FindInt32("i32", 1, &i32), B_OK);
    ASSERT_EQ(message.FindInt64("i64", &i64), B_OK);
    ASSERT_EQ(message.FindUInt32("u32", &u32), B_OK);
    ASSERT_EQ(message.FindFloat("f", &f), B_OK);
    ASSERT_EQ(message.FindDouble("d", &d), B_OK);
    EXPECT_EQ(i8, -128);
    EXPECT_EQ(i16, -32768);
    EXPECT_EQ(i32, 0x01020304);
    EXPECT_EQ(message.GetInt32("i32", 0), INT32_MIN);
    EXPECT_EQ(i64, INT64_MIN + 1);
    EXPECT_EQ(u32, 0xDEADBEEFu);
    EXPECT_EQ(f, -0.5f);
    EXPECT_EQ(d, 1e300);
    EXPECT_STREQ(message.GetString("s"), "été");
    std::string empty = "x";
    ASSERT_EQ(message.FindString("s", 1, &empty), B_OK);
    EXPECT_EQ(empty, "");
    entry_ref ref;
    ASSERT_EQ(message.FindRef("refs", 1, &ref), B_OK);
    EXPECT_EQ(ref, entry_ref("/", "racine.jpg"));
    EXPECT_EQ(ref.Path(), "/racine.jpg");
    ASSERT_EQ(message.FindRef("refs", &ref), B_OK);
    EXPECT_EQ(ref.Path(), "/home/anne/Images/chat.png");
    BRect rect;
    ASSERT_EQ(message.FindRect("r", &rect), B_OK);
    EXPECT_EQ(rect, BRect(0, 0, 399.5f, -1));
    BMessage inner(message);
    ASSERT_EQ(inner.FindMessage("m", &inner), B_OK);  // over itself: its bytes are inside
    EXPECT_EQ(inner.what, FourCC("INNR"));
    EXPECT_STREQ(inner.GetString("leaf"), "feuille");
    EXPECT_EQ(inner.GetInt32("n", 0), -7);
    const void* raw = nullptr;
    ssize_t size = 0;
    ASSERT_EQ(message.FindData("raw", B_RAW_TYPE, &raw, &size), B_OK);
    ASSERT_EQ(size, 4);
    EXPECT_EQ(std::memcmp(raw, "\0\1\2\xFF", 4), 0);
}

}  // namespace

TEST(Message, EveryTypeSurvivesCopyAndFlattening) {
    BMessage original = Sample();
    ExpectSample(original);

    BMessage copy(original);
    BMessage assigned;
    assigned = original;
    original.MakeEmpty();  // a copy must not share anything with its source
    ExpectSample(copy);
    ExpectSample(assigned);

    std::vector<uint8> bytes = Flat(copy);
    EXPECT_EQ(ssize_t(bytes.size()), copy.FlattenedSize());
    BMessage back;
    ASSERT_EQ(back.Unflatten(bytes.data(), bytes.size()), B_OK);
    ExpectSample(back);
    EXPECT_EQ(Flat(back), bytes);

    std::vector<char> buffer(bytes.size());
    EXPECT_EQ(copy.Flatten(buffer.data(), ssize_t(buffer.size()) - 1), B_BAD_VALUE);
    ASSERT_EQ(copy.Flatten(buffer.data(), ssize_t(buffer.size())), B_OK);
    EXPECT_EQ(std::memcmp(buffer.data(), bytes.data(), bytes.size()), 0);
}

TEST(Message, FlattenedFormIsLittleEndianWithHeader) {
    BMessage message(0x01020304);
    message.AddInt32("a", 0x0A0B0C0D);
    std::vector<uint8> bytes = Flat(message);
    const std::vector<uint8> expected = {
        'O', 'r', 'v', 'M', 1,    0,    0,    0,  // magic, version
        45,  0,   0,   0,                         // total length
        4,   3,   2,   1,   1,    0,    0,    0,  // what, one field
        1,   0,   0,   0,   'a',                  // name
        'G', 'N', 'O', 'L',                       // B_INT32_TYPE as a little-endian word
        1,   0,   0,   0,   1,    0,    0,    0,  // fixed size, one value
        4,   0,   0,   0,   0x0D, 0x0C, 0x0B, 0x0A,
    };
    EXPECT_EQ(bytes, expected);
}

TEST(Message, FieldsKeepTheOrderAdded) {
    BMessage message;
    message.AddInt32("zeta", 1);
    message.AddString("alpha", "a");
    message.AddBool("mid", false);
    message.AddInt32("beta", 2);
    message.AddInt32("zeta", 3);  // a second value does not move its field

    BMessage back;
    std::vector<uint8> bytes = Flat(message);
    ASSERT_EQ(back.Unflatten(bytes.data(), bytes.size()), B_OK);
    const char* expected[] = {"zeta", "alpha", "mid", "beta"};
    ASSERT_EQ(back.CountNames(B_ANY_TYPE), 4);
    for (int32 i = 0; i < 4; ++i) {
        const char* name = nullptr;
        ASSERT_EQ(back.GetInfo(B_ANY_TYPE, i, &name, nullptr), B_OK);
        EXPECT_STREQ(name, expected[i]);
    }
    const char* name = nullptr;
    type_code type = 0;
    int32 count = 0;
    ASSERT_EQ(back.GetInfo(B_INT32_TYPE, 1, &name, &type, &count), B_OK);
    EXPECT_STREQ(name, "beta");
    ASSERT_EQ(back.GetInfo(B_INT32_TYPE, 0, &name, &type, &count), B_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(back.GetInfo(B_INT32_TYPE, 2, &name, nullptr), B_BAD_INDEX);
    EXPECT_EQ(back.GetInfo(B_REF_TYPE, 0, &name, nullptr), B_BAD_TYPE);
    EXPECT_EQ(back.CountNames(B_INT32_TYPE), 2);
}

TEST(Message, TypeAndIndexErrors) {
    BMessage message;
    ASSERT_EQ(message.AddInt32("n", 1), B_OK);
    EXPECT_EQ(message.AddString("n", "texte"), B_BAD_TYPE);
    EXPECT_EQ(message.AddInt64("n", 1), B_BAD_TYPE);

    int32 i32 = 0;
    int64 i64 = 0;
    const char* text = nullptr;
    EXPECT_EQ(message.FindInt64("n", &i64), B_BAD_TYPE);
    EXPECT_EQ(message.FindString("n", &text), B_BAD_TYPE);
    EXPECT_EQ(message.FindInt32("n", 1, &i32), B_BAD_INDEX);
    EXPECT_EQ(message.FindInt32("n", -1, &i32), B_BAD_INDEX);
    EXPECT_EQ(message.FindInt32("absent", &i32), B_NAME_NOT_FOUND);
    EXPECT_EQ(message.ReplaceInt32("n", 1, 5), B_BAD_INDEX);
    EXPECT_EQ(message.ReplaceString("n", "x"), B_BAD_TYPE);
    EXPECT_EQ(message.ReplaceInt32("absent", 5), B_NAME_NOT_FOUND);

    // Getters fall back to the default on absence and on a type mismatch alike.
    EXPECT_EQ(message.GetInt64("n", 42), 42);
    EXPECT_EQ(message.GetInt32("absent", 9), 9);
    EXPECT_STREQ(message.GetString("n", "défaut"), "défaut");
    EXPECT_TRUE(message.HasData("n", B_INT32_TYPE));
    EXPECT_TRUE(message.HasData("n", B_ANY_TYPE));
    EXPECT_FALSE(message.HasData("n", B_INT64_TYPE));
    EXPECT_FALSE(message.HasData("n", B_INT32_TYPE, 1));

    // A fixed-size raw field refuses a value of another size.
    const uint8 two[2] = {1, 2};
    const uint8 three[3] = {1, 2, 3};
    ASSERT_EQ(message.AddData("fixed", B_RAW_TYPE, two, 2, true), B_OK);
    EXPECT_EQ(message.AddData("fixed", B_RAW_TYPE, three, 3, true), B_BAD_VALUE);
    EXPECT_EQ(message.ReplaceData("fixed", B_RAW_TYPE, 0, three, 3), B_BAD_VALUE);
    // Known types have one size whatever the caller says.
    EXPECT_EQ(message.AddData("x", B_INT32_TYPE, three, 3, false), B_BAD_DATA);
    EXPECT_FALSE(message.HasData("x", B_ANY_TYPE));
}

TEST(Message, ReplaceChangesOnlyTheGivenValue) {
    BMessage message;
    message.AddString("s", "un");
    message.AddString("s", "deux");
    message.AddString("s", "trois");
    ASSERT_EQ(message.ReplaceString("s", 1, "une chaîne bien plus longue"), B_OK);
    EXPECT_STREQ(message.GetString("s"), "un");
    const char* text = nullptr;
    ASSERT_EQ(message.FindString("s", 1, &text), B_OK);
    EXPECT_STREQ(text, "une chaîne bien plus longue");
    ASSERT_EQ(message.FindString("s", 2, &text), B_OK);
    EXPECT_STREQ(text, "trois");

    message.AddBool("b", false);
    message.AddBool("b", false);
    ASSERT_EQ(message.ReplaceBool("b", 1, true), B_OK);
    bool value = true;
    ASSERT_EQ(message.FindBool("b", 0, &value), B_OK);
    EXPECT_FALSE(value);
    ASSERT_EQ(message.FindBool("b", 1, &value), B_OK);
    EXPECT_TRUE(value);
}

TEST(Message, RemoveDataShiftsLaterValuesDown) {
    BMessage message;
    entry_ref refs[] = {{"/a", "0"}, {"/a", "1"}, {"/a", "2"}, {"/a", "3"}};
    for (const entry_ref& ref : refs) {
        message.AddRef("refs", &ref);
    }
    message.AddInt32("after", 1);

    // Removing item i and then examining item i again is how folders are expanded.
    ASSERT_EQ(message.RemoveData("refs", 1), B_OK);
    entry_ref ref;
    ASSERT_EQ(message.FindRef("refs", 1, &ref), B_OK);
    EXPECT_EQ(ref.name, "2");
    ASSERT_EQ(message.FindRef("refs", 2, &ref), B_OK);
    EXPECT_EQ(ref.name, "3");
    EXPECT_EQ(message.FindRef("refs", 3, &ref), B_BAD_INDEX);
    EXPECT_EQ(message.RemoveData("refs", 3), B_BAD_INDEX);

    // A field whose last value goes disappears, and one added later goes to the end.
    ASSERT_EQ(message.RemoveData("refs", 0), B_OK);
    ASSERT_EQ(message.RemoveData("refs", 0), B_OK);
    ASSERT_EQ(message.RemoveData("refs", 0), B_OK);
    type_code type = 0;
    EXPECT_EQ(message.GetInfo("refs", &type), B_NAME_NOT_FOUND);
    message.AddRef("refs", &refs[0]);
    const char* name = nullptr;
    ASSERT_EQ(message.GetInfo(B_ANY_TYPE, 1, &name, &type), B_OK);
    EXPECT_STREQ(name, "refs");

    EXPECT_EQ(message.RemoveName("after"), B_OK);
    EXPECT_EQ(message.RemoveName("after"), B_NAME_NOT_FOUND);
    EXPECT_EQ(message.MakeEmpty(), B_OK);
    EXPECT_TRUE(message.IsEmpty());
}

TEST(Message, RefsThatCouldEscapeTheirFolderAreRefused) {
    BMessage message;
    const entry_ref bad[] = {
        {"relative/dir", "a.png"}, {"", "a.png"},  {"/dir", ""},
        {"/dir", "sub/a.png"},     {"/dir", ".."}, {"/dir", "."},
    };
    for (const entry_ref& ref : bad) {
        EXPECT_NE(message.AddRef("refs", &ref), B_OK) << ref.directory << " | " << ref.name;
    }
    EXPECT_TRUE(message.IsEmpty());
    entry_ref good("/dir", "..a");
    EXPECT_EQ(message.AddRef("refs", &good), B_OK);
    EXPECT_EQ(message.ReplaceRef("refs", 0, &bad[3]), B_BAD_DATA);
}

TEST(Message, NestingIsBoundedWhenBuilt) {
    BMessage message;
    for (int depth = 0; depth < BMessage::kMaxNestingDepth; ++depth) {
        BMessage outer{uint32(depth)};
        ASSERT_EQ(outer.AddMessage("m", &message), B_OK) << depth;
        message = outer;
    }
    std::vector<uint8> bytes = Flat(message);
    BMessage back;
    ASSERT_EQ(back.Unflatten(bytes.data(), bytes.size()), B_OK);
    BMessage outer;
    EXPECT_NE(outer.AddMessage("m", &message), B_OK);
}
