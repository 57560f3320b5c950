// SPDX-License-Identifier: MIT
#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/storage/File.h"
#include "platform/storage/MimeType.h"
#include "platform/storage/Node.h"
#include "platform/storage/NodeInfo.h"
#include "platform/support/Message.h"
#include "platform/translation/TranslationDefs.h"
#include "tests/TempFolder.h"

// GetType fills buffers that callers size with the translation kit's constant.
static_assert(BMimeType::kMaxLength + 1 <= size_t(B_MIME_TYPE_LENGTH));

namespace {

using orvtest::TempFolder;
using orvtest::WriteFile;

const std::string kPngStart("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x06\0\0\0", 29);
const std::string kJpegStart("\xff\xd8\xff\xe0\0\x10JFIF\0\1\1\0\0\1\0\1\0\0", 20);

std::string TypeOf(const std::string& path, status_t* status = nullptr) {
    BNode node(path.c_str());
    BNodeInfo info(&node);
    char type[256] = "unchanged";
    const status_t result = info.GetType(type);
    if (status != nullptr) {
        *status = result;
    }
    return type;
}

std::vector<std::string> Extensions(const char* type) {
    BMessage message;
    BMimeType(type).GetFileExtensions(&message);
    std::vector<std::string> found;
    const char* extension = nullptr;
    for (int32 i = 0; message.FindString("extensions", i, &extension) == B_OK; ++i) {
        found.emplace_back(extension);
    }
    return found;
}

TEST(NodeInfoTest, SniffsContentBeforeName) {
    TempFolder folder;
    struct Case {
        const char* name;
        std::string content;
        const char* type;
    };
    const Case cases[] = {
        {"photo.png", kPngStart, "image/png"},
        {"photo.jpg", kPngStart, "image/png"},                 // the content decides
        {"noname", kJpegStart, "image/jpeg"},                  // no extension needed
        {"random.jpg", "\x01\x02\x03\x04\xfe", "image/jpeg"},  // content unknown: the name
        {"empty.png", "", "image/png"},                        // nothing to sniff: the name
        {"notes.txt", "just some text\n", "text/plain"},
        {"unknown", "\x01\x02\x03\x04\xfe", ""},  // octet-stream is no type at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(folder / c.name, c.content);
        status_t status;
        EXPECT_EQ(TypeOf(folder / c.name, &status), c.type);
        EXPECT_EQ(status, *c.type != '\0' ? B_OK : B_ENTRY_NOT_FOUND);
    }
}

TEST(NodeInfoTest, StoredTypeRoundTripsAndWinsOverSniffing) {
    TempFolder folder;
    const std::string path = folder / "out.tmp";
    {
        BFile file(path.c_str(), B_WRITE_ONLY | B_CREATE_FILE);
        ASSERT_EQ(file.Write(kPngStart.data(), kPngStart.size()), ssize_t(kPngStart.size()));
        BNodeInfo info(&file);
        // Typing through a file open for writing only, as the run does with its output.
        ASSERT_EQ(info.SetType("image/webp"), B_OK);
    }
    char stored[64] = {};
    ASSERT_GT(getxattr(path.c_str(), "user.mime_type", stored, sizeof(stored)), 0);
    EXPECT_STREQ(stored, "image/webp");
    EXPECT_EQ(TypeOf(path), "image/webp");

    BNode node(path.c_str());
    BNodeInfo info(&node);
    EXPECT_EQ(info.SetType("not a type"), B_BAD_VALUE);
    ASSERT_EQ(info.SetType(nullptr), B_OK);
    EXPECT_EQ(TypeOf(path), "image/png");
    EXPECT_EQ(info.SetType(nullptr), B_OK);  // removing what is not there is fine
}

TEST(NodeInfoTest, IgnoresMalformedStoredTypes) {
    TempFolder folder;
    const std::string path = folder / "photo.png";
    WriteFile(path, kPngStart);
    const std::string bad[] = {std::string("image/png\0evil", 14), "../../etc", "",
                               std::string(300, 'a') + "/b", "two words/x"};
    for (const std::string& value : bad) {
        ASSERT_EQ(setxattr(path.c_str(), "user.mime_type", value.data(), value.size(), 0), 0);
        EXPECT_EQ(TypeOf(path), "image/png");
    }
    // The terminating zero some tools store is accepted.
    ASSERT_EQ(setxattr(path.c_str(), "user.mime_type", "image/gif", 10, 0), 0);
    EXPECT_EQ(TypeOf(path), "image/gif");
}

TEST(NodeInfoTest, AFileThatCannotCarryATypeIsNoError) {
    TempFolder folder;
    // Linux keeps user attributes off pipes (EPERM), as some file systems refuse them all.
    ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0644), 0);
    BNode node((folder / "pipe").c_str());
    ASSERT_EQ(node.InitCheck(), B_OK);  // opened without waiting for a writer
    BNodeInfo info(&node);
    EXPECT_EQ(info.SetType("image/png"), B_OK);
    char type[256];
    EXPECT_EQ(info.GetType(type), B_ENTRY_NOT_FOUND);
}

TEST(NodeInfoTest, NeedsAnOpenNode) {
    BNode missing("/nonexistent/file");
    EXPECT_NE(missing.InitCheck(), B_OK);
    BNodeInfo info(&missing);
    char type[256] = "x";
    EXPECT_EQ(info.GetType(type), B_NO_INIT);
    EXPECT_STREQ(type, "");
    EXPECT_EQ(info.SetType("image/png"), B_NO_INIT);
}

TEST(MimeTypeTest, ExtensionsInTheDatabaseOrder) {
    EXPECT_EQ(Extensions("image/jpeg"), (std::vector<std::string>{"jpg", "jpeg", "jpe"}));
    EXPECT_EQ(Extensions("IMAGE/PNG"), (std::vector<std::string>{"png"}));
    EXPECT_EQ(Extensions("image/x-does-not-exist"), std::vector<std::string>{});

    // The field is replaced, not added to.
    BMessage message;
    message.AddString("extensions", "stale");
    ASSERT_EQ(BMimeType("image/png").GetFileExtensions(&message), B_OK);
    int32 count = 0;
    type_code code;
    ASSERT_EQ(message.GetInfo("extensions", &code, &count), B_OK);
    EXPECT_EQ(count, 1);

    EXPECT_EQ(BMimeType("image/x-does-not-exist").GetFileExtensions(&message), B_ENTRY_NOT_FOUND);
    EXPECT_FALSE(message.HasData("extensions", B_STRING_TYPE));
    EXPECT_EQ(BMimeType("bad type").GetFileExtensions(&message), B_BAD_VALUE);
}

TEST(MimeTypeTest, RegisteredExtensionsComeFirstAndTypeFilesByName) {
    ASSERT_EQ(BMimeType::RegisterExtensions("image/x-orvane-test", {".orvt", "ORVT2"}), B_OK);
    ASSERT_EQ(BMimeType::RegisterExtensions("image/x-orvane-test", {"orvt"}), B_OK);
    EXPECT_EQ(Extensions("image/x-orvane-test"), (std::vector<std::string>{"orvt", "ORVT2"}));
    EXPECT_TRUE(BMimeType("image/x-orvane-test").IsInstalled());
    EXPECT_FALSE(BMimeType("image/x-orvane-unknown").IsInstalled());

    std::vector<std::string> bmp = Extensions("image/bmp");
    ASSERT_FALSE(bmp.empty());
    ASSERT_EQ(BMimeType::RegisterExtensions("image/bmp", {"bmpx", bmp.front()}), B_OK);
    bmp.insert(bmp.begin(), "bmpx");
    EXPECT_EQ(Extensions("image/bmp"), bmp);  // each extension once

    EXPECT_EQ(BMimeType::RegisterExtensions("bad type", {"x"}), B_BAD_VALUE);
    EXPECT_EQ(BMimeType::RegisterExtensions("image/x", {"a/b"}), B_BAD_VALUE);
    EXPECT_EQ(BMimeType::RegisterExtensions("image/x", {""}), B_BAD_VALUE);

    EXPECT_EQ(BMimeType::RegisteredTypeForName("Picture.ORVT"), "image/x-orvane-test");
    EXPECT_EQ(BMimeType::RegisteredTypeForName("orvt"), "");

    // A file of a type the database does not know is still typed by its name.
    TempFolder folder;
    WriteFile(folder / "a.orvt2", "\x01\x02\x03\xfe");
    EXPECT_EQ(TypeOf(folder / "a.orvt2"), "image/x-orvane-test");
}

TEST(MimeTypeTest, Validity) {
    struct Case {
        const char* type;
        bool valid;
    };
    const Case cases[] = {
        {"image/png", true},   {"image/svg+xml", true},
        {"image", true},       {"application/x-vnd.Orvane", true},
        {"", false},           {"/png", false},
        {"image/", false},     {"image/png/x", false},
        {"image/p ng", false}, {"image/p\xc3\xa9", false},
        {nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type != nullptr ? c.type : "null");
        EXPECT_EQ(BMimeType::IsValid(c.type), c.valid);
        EXPECT_EQ(BMimeType(c.type).IsValid(), c.valid);
    }
    EXPECT_TRUE(BMimeType::IsValid((std::string(BMimeType::kMaxLength, 'a')).c_str()));
    EXPECT_FALSE(BMimeType::IsValid((std::string(BMimeType::kMaxLength + 1, 'a')).c_str()));
    EXPECT_EQ(BMimeType().Type(), nullptr);
}

}  // namespace
