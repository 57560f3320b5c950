// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/storage/Directory.h"
#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "tests/TempFolder.h"

namespace {

using orvtest::ReadFile;
using orvtest::TempFolder;
using orvtest::WriteFile;

TEST(FileTest, OpenModesKeepThePlatformValues) {
    EXPECT_EQ(B_READ_ONLY, 0u);
    EXPECT_EQ(B_WRITE_ONLY, 1u);
    EXPECT_EQ(B_READ_WRITE, 2u);
    EXPECT_EQ(B_FAIL_IF_EXISTS, 0x100u);
    EXPECT_EQ(B_CREATE_FILE, 0x200u);
    EXPECT_EQ(B_ERASE_FILE, 0x400u);
    EXPECT_EQ(B_OPEN_AT_END, 0x800u);
    EXPECT_EQ(B_WRITE_ONLY | B_CREATE_FILE, 513u);
}

TEST(FileTest, OpenModesOnAnExistingFile) {
    struct Case {
        const char* what;
        uint32 mode;
        status_t status;
        std::string after;  // the file's content after writing "new" when the open succeeds
    };
    const Case cases[] = {
        {"create only", B_WRITE_ONLY | B_CREATE_FILE, B_OK, "newginal"},
        {"exclusive", B_WRITE_ONLY | B_CREATE_FILE | B_FAIL_IF_EXISTS, B_FILE_EXISTS, "original"},
        {"erase", B_WRITE_ONLY | B_ERASE_FILE, B_OK, "new"},
        {"at end", B_WRITE_ONLY | B_OPEN_AT_END, B_OK, "originalnew"},
        {"read only", B_READ_ONLY, B_OK, "original"},
    };
    TempFolder folder;
    const std::string path = folder / "file";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(path, "original");
        BFile file(path.c_str(), c.mode);
        ASSERT_EQ(file.InitCheck(), c.status);
        if (c.status == B_OK) {
            const ssize_t written = file.Write("new", 3);
            EXPECT_EQ(written > 0, file.IsWritable());
            EXPECT_EQ(file.IsReadable(), (c.mode & B_ACCESS_MODE_MASK) != B_WRITE_ONLY);
        }
        EXPECT_EQ(ReadFile(path), c.after);
    }
}

TEST(FileTest, CreatesWithUmaskAndCloseOnExec) {
    TempFolder folder;
    const mode_t old = umask(027);
    BFile file((folder / "new").c_str(), B_WRITE_ONLY | B_CREATE_FILE | B_FAIL_IF_EXISTS);
    umask(old);
    ASSERT_EQ(file.InitCheck(), B_OK);
    struct stat st;
    ASSERT_EQ(stat((folder / "new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(fcntl(file.FileDescriptor(), F_GETFD) & FD_CLOEXEC);
    // The descriptor blocks again once the file is known to be a regular one.
    EXPECT_FALSE(fcntl(file.FileDescriptor(), F_GETFL) & O_NONBLOCK);

    EXPECT_EQ(BFile((folder / "missing").c_str(), B_READ_ONLY).InitCheck(), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(BFile((folder / "x").c_str(), 3).InitCheck(), B_BAD_VALUE);
}

TEST(FileTest, RefusesFoldersPipesAndDevicesWithoutBlocking) {
    TempFolder folder;
    ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0644), 0);
    // Opening a pipe that nobody writes to would block forever in a plain open().
    EXPECT_EQ(BFile((folder / "pipe").c_str(), B_READ_ONLY).InitCheck(), B_BAD_VALUE);
    EXPECT_EQ(BFile(folder.Path().c_str(), B_READ_ONLY).InitCheck(), B_IS_A_DIRECTORY);
    EXPECT_EQ(BFile("/dev/zero", B_READ_ONLY).InitCheck(), B_BAD_VALUE);
}

TEST(FileTest, PositionedReadsAndWrites) {
    TempFolder folder;
    BDirectory directory(folder.Path().c_str());
    BFile file(&directory, "data", B_READ_WRITE | B_CREATE_FILE);
    ASSERT_EQ(file.InitCheck(), B_OK);

    EXPECT_EQ(file.Write("0123456789", 10), 10);
    EXPECT_EQ(file.Position(), 10);
    EXPECT_EQ(file.WriteAt(20, "end", 3), 3);  // leaves a hole of zeros
    EXPECT_EQ(file.Position(), 10);            // positioned calls leave the position alone
    off_t size = 0;
    ASSERT_EQ(file.GetSize(&size), B_OK);
    EXPECT_EQ(size, 23);

    char buffer[32] = {};
    EXPECT_EQ(file.ReadAt(8, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), std::string("89\0\0", 4));
    EXPECT_EQ(file.ReadAt(20, buffer, sizeof(buffer)), 3);  // short only at the end
    EXPECT_EQ(file.ReadAt(100, buffer, 4), 0);
    EXPECT_LT(file.ReadAt(-1, buffer, 4), 0);

    EXPECT_EQ(file.Seek(-3, SEEK_FROM_END), 20);
    EXPECT_EQ(file.Read(buffer, 10), 3);
    EXPECT_EQ(file.Seek(2, SEEK_FROM_START), 2);
    EXPECT_EQ(file.Seek(1, SEEK_FROM_CURRENT), 3);
    EXPECT_EQ(file.Read(buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "34");

    ASSERT_EQ(file.SetSize(5), B_OK);
    ASSERT_EQ(file.GetSize(&size), B_OK);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(file.ReadAtExactly(0, buffer, 6), B_BAD_DATA);

    BFile unset;
    EXPECT_LT(unset.Read(buffer, 1), 0);
    EXPECT_LT(unset.Write(buffer, 1), 0);
    EXPECT_LT(unset.Seek(0, SEEK_FROM_START), 0);
}

TEST(FileTest, WriteOnlyFileCannotBeRead) {
    TempFolder folder;
    BFile file((folder / "w").c_str(), B_WRITE_ONLY | B_CREATE_FILE);
    ASSERT_EQ(file.InitCheck(), B_OK);
    char byte;
    EXPECT_LT(file.ReadAt(0, &byte, 1), 0);
    EXPECT_FALSE(file.IsReadable());
}

}  // namespace
