// SPDX-License-Identifier: MIT
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/storage/Directory.h"
#include "platform/storage/SafeWrite.h"
#include "tests/storage/TempFolder.h"

namespace {

using orvtest::Present;
using orvtest::ReadFile;
using orvtest::TempFolder;
using orvtest::WriteFile;

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SafeWriteTest, CommitsUnderTheFinalName) {
    TempFolder folder;
    BDirectory directory(folder.Path().c_str());
    const mode_t old = umask(022);
    orv::SafeWrite write;
    const status_t opened = write.Open(&directory);
    umask(old);
    ASSERT_EQ(opened, B_OK);

    const std::string temporary = write.TemporaryPath();
    EXPECT_EQ(temporary.rfind(folder / ".orvane-", 0), 0u);
    EXPECT_EQ(temporary.size(), (folder / ".orvane-XXXXXX").size());
    struct stat st;
    ASSERT_EQ(stat(temporary.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    ASSERT_EQ(write.File()->Write("image data", 10), 10);
    ASSERT_EQ(write.Commit("photo.png"), B_OK);
    EXPECT_TRUE(write.IsCommitted());
    EXPECT_EQ(write.CommittedPath(), folder / "photo.png");
    // The file stays open after the rename, for typing it.
    EXPECT_EQ(write.File()->WriteAt(10, "!", 1), 1);
    write.Discard();  // does nothing once committed
    EXPECT_EQ(ReadFile(folder / "photo.png"), "image data!");
    EXPECT_EQ(Listing(folder.Path()), std::vector<std::string>{"photo.png"});
    EXPECT_EQ(write.Commit("again.png"), B_NO_INIT);
}

TEST(SafeWriteTest, NameTakenMeanwhileLeavesBothFilesIntact) {
    TempFolder folder;
    orv::SafeWrite write;
    ASSERT_EQ(write.Open(folder.Path()), B_OK);
    ASSERT_EQ(write.File()->Write("new", 3), 3);
    // Someone takes the chosen name between the choice and the commit.
    WriteFile(folder / "photo.png", "theirs");
    mkdir((folder / "dir").c_str(), 0755);
    ASSERT_EQ(symlink("gone", (folder / "link").c_str()), 0);

    for (const char* taken : {"photo.png", "dir", "link"}) {
        EXPECT_EQ(write.Commit(taken), B_FILE_EXISTS) << taken;
    }
    EXPECT_EQ(ReadFile(folder / "photo.png"), "theirs");
    EXPECT_TRUE(Present(write.TemporaryPath()));
    EXPECT_EQ(write.Commit("sub/x"), B_BAD_VALUE);

    // The kept temporary can still go under another name.
    ASSERT_EQ(write.Commit("photo.png 2"), B_OK);
    EXPECT_EQ(ReadFile(folder / "photo.png 2"), "new");
    EXPECT_EQ(Listing(folder.Path()),
              (std::vector<std::string>{"dir", "link", "photo.png", "photo.png 2"}));
}

TEST(SafeWriteTest, NothingSurvivesWithoutCommit) {
    TempFolder folder;
    {
        orv::SafeWrite write;
        ASSERT_EQ(write.Open(folder.Path()), B_OK);
        write.File()->Write("partial", 7);
    }
    EXPECT_TRUE(Listing(folder.Path()).empty());

    orv::SafeWrite write;
    ASSERT_EQ(write.Open(folder.Path()), B_OK);
    const std::string first = write.TemporaryPath();
    ASSERT_EQ(write.Open(folder.Path()), B_OK);  // reopening drops the first temporary
    EXPECT_FALSE(Present(first));
    write.Discard();
    EXPECT_TRUE(Listing(folder.Path()).empty());
    EXPECT_EQ(write.File(), nullptr);
    EXPECT_EQ(write.Commit("x"), B_NO_INIT);

    EXPECT_NE(write.Open(folder / "missing"), B_OK);
    EXPECT_EQ(write.File(), nullptr);
}

TEST(SafeWriteTest, FullDiskFailsAndLeavesNothing) {
    TempFolder mountPoint;
    if (mount("orvane-test", mountPoint.Path().c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    WriteFile(mountPoint / "existing", "kept");
    {
        orv::SafeWrite write;
        ASSERT_EQ(write.Open(mountPoint.Path()), B_OK);
        const std::string block(16384, 'x');
        status_t status = B_OK;
        for (int i = 0; i < 16 && status == B_OK; ++i) {
            const ssize_t written = write.File()->Write(block.data(), block.size());
            status = written < 0 ? status_t(written) : B_OK;
        }
        EXPECT_EQ(status, B_DEVICE_FULL);
    }
    EXPECT_EQ(Listing(mountPoint.Path()), std::vector<std::string>{"existing"});
    EXPECT_EQ(ReadFile(mountPoint / "existing"), "kept");
    umount2(mountPoint.Path().c_str(), MNT_DETACH);
}

}  // namespace
