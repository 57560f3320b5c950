// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "conversion/NewFileName.h"
#include "platform/storage/Directory.h"
#include "platform/storage/MimeType.h"
#include "tests/TempFolder.h"

namespace {

using orvtest::TempFolder;
using orvtest::WriteFile;

struct Case {
    const char* leaf;
    const char* type;
    bool remove, add;
    const char* expected;
};

void Check(const TempFolder& folder, const Case& c) {
    SCOPED_TRACE(std::string(c.leaf) + " remove=" + std::to_string(c.remove) +
                 " add=" + std::to_string(c.add));
    BDirectory directory(folder.Path().c_str());
    const NewFileNameResult result =
        ChooseNewFileName(&directory, c.leaf, c.type, ".png", c.remove, c.add);
    EXPECT_EQ(result.name, c.expected);
    EXPECT_TRUE(result.isFree);
    EXPECT_EQ(NewFileName(&directory, c.leaf, c.type, ".png", c.remove, c.add), c.expected);
}

TEST(NewFileNameTest, ExtensionOptionsAndLowerCase) {
    TempFolder folder;
    WriteFile(folder / "Photo.JPG", "");
    const Case cases[] = {
        {"Photo.JPG", "image/jpeg", true, true, "photo.png"},
        {"Photo.JPG", "image/jpeg", true, false, "photo"},
        {"Photo.JPG", "image/jpeg", false, true, "photo.jpg.png"},
        // Free: the source is 'Photo.JPG' and names are case-sensitive.
        {"Photo.JPG", "image/jpeg", false, false, "photo.jpg"},
        // Only the first matching extension of the type's list goes.
        {"a.JPEG.jpg", "image/jpeg", true, false, "a.jpeg"},
        {"a.jpg.JPEG", "image/jpeg", true, false, "a.jpg"},
        {"PHOTO.JPE", "image/jpeg", true, true, "photo.png"},
        // An ending of another type stays.
        {"photo.jpeg", "image/png", true, true, "photo.jpeg.png"},
        // Unknown, empty or missing types remove nothing.
        {"photo.jpg", "image/x-unknown-to-all", true, true, "photo.jpg.png"},
        {"photo.jpg", "", true, true, "photo.jpg.png"},
        {"photo.jpg", nullptr, true, true, "photo.jpg.png"},
        // Nothing but the extension: the base is empty.
        {".jpg", "image/jpeg", true, true, ".png"},
        // Only A-Z are lowered; the bytes of other letters stay as they are.
        {"\xc3\x89T\xc3\x89 \xc3\x80 ROMA.JPG", "image/jpeg", true, true,
         "\xc3\x89t\xc3\x89 \xc3\x80 roma.png"},
        {"jpg", "image/jpeg", true, true, "jpg.png"},  // no dot, no extension
    };
    for (const Case& c : cases) {
        Check(folder, c);
    }
}

TEST(NewFileNameTest, RegisteredExtensionsAreRemovedToo) {
    ASSERT_EQ(BMimeType::RegisterExtensions("image/x-orvane-naming", {"onm"}), B_OK);
    TempFolder folder;
    Check(folder, {"Picture.ONM", "image/x-orvane-naming", true, true, "picture.png"});
}

TEST(NewFileNameTest, NumbersAfterTheExtensionAndCountsEveryKindOfEntry) {
    TempFolder folder;
    BDirectory directory(folder.Path().c_str());
    const auto choose = [&](const char* leaf, bool add) {
        return NewFileName(&directory, leaf, "image/png", ".png", true, add);
    };
    WriteFile(folder / "photo.png", "source");
    EXPECT_EQ(choose("photo.png", true), "photo.png 2");
    WriteFile(folder / "photo.png 2", "");
    EXPECT_EQ(choose("photo.png", true), "photo.png 3");
    EXPECT_EQ(choose("photo.png", false), "photo");

    // A folder, a dangling link and a link to a folder all occupy their names.
    mkdir((folder / "dir.png").c_str(), 0755);
    ASSERT_EQ(symlink("nowhere", (folder / "dangling.png").c_str()), 0);
    ASSERT_EQ(symlink("dir.png", (folder / "dirlink.png").c_str()), 0);
    EXPECT_EQ(choose("DIR.png", true), "dir.png 2");
    EXPECT_EQ(choose("Dangling.PNG", true), "dangling.png 2");
    EXPECT_EQ(choose("dirlink.png", true), "dirlink.png 2");

    // Without the new extension the number follows the bare base.
    WriteFile(folder / "photo", "");
    WriteFile(folder / "photo 2", "");
    EXPECT_EQ(choose("photo.png", false), "photo 3");
}

TEST(NewFileNameTest, EveryNumberTakenIsReportedAsNotFree) {
    TempFolder folder;
    const auto touch = [&](const std::string& name) {
        const int fd = open((folder / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << name;
        close(fd);
    };
    touch("x.png");
    for (int number = 2; number <= 65534; ++number) {
        touch("x.png " + std::to_string(number));
    }
    BDirectory directory(folder.Path().c_str());
    NewFileNameResult result =
        ChooseNewFileName(&directory, "x.png", "image/png", ".png", true, true);
    EXPECT_EQ(result.name, "x.png 65535");  // the last number, still free
    EXPECT_TRUE(result.isFree);

    touch("x.png 65535");
    result = ChooseNewFileName(&directory, "x.png", "image/png", ".png", true, true);
    EXPECT_EQ(result.name, "x.png 65535");  // no 65536: the last one tried, taken
    EXPECT_FALSE(result.isFree);
}

TEST(NewFileNameTest, NoFolderMeansNothingIsKnownFree) {
    BDirectory missing("/nonexistent/folder");
    const NewFileNameResult result =
        ChooseNewFileName(&missing, "a.jpg", "image/jpeg", ".png", true, true);
    EXPECT_EQ(result.name, "a.png");
    EXPECT_FALSE(result.isFree);
    EXPECT_FALSE(ChooseNewFileName(nullptr, "a.jpg", "image/jpeg", ".png", true, true).isFree);
}

}  // namespace
