// SPDX-License-Identifier: MIT
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/storage/Directory.h"
#include "platform/storage/SafeWrite.h"
#include "tests/TempFolder.h"

namespace {

using orvtest::Listing;
using orvtest::Present;
using orvtest::ReadFile;
using orvtest::TempFolder;
using orvtest::WriteFile;

TEST(SafeWriteTest, CommitsUnderTheFinalNameAndIsNowhereBefore) {
    TempFolder folder;
    BDirectory directory(folder.Path().c_str());
    const mode_t old = umask(022);
    orv::SafeWrite write;
    const status_t opened = write.Open(&directory, 0640);
    umask(old);
    ASSERT_EQ(opened, B_OK);

    // Until it is committed the new file has no name: a crash now leaves nothing.
    ASSERT_EQ(write.File()->Write("image data", 10), 10);
    EXPECT_TRUE(write.TemporaryPath().empty());
    EXPECT_TRUE(Listing(folder.Path()).empty());

    ASSERT_EQ(write.Commit("photo.png"), B_OK);
    EXPECT_TRUE(write.IsCommitted());
    EXPECT_EQ(write.CommittedPath(), folder / "photo.png");
    struct stat st;
    ASSERT_EQ(stat((folder / "photo.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // The file stays open after it is named, for typing it.
    EXPECT_EQ(write.File()->WriteAt(10, "!", 1), 1);
    write.Discard();  // does nothing once committed
    EXPECT_EQ(ReadFile(folder / "photo.png"), "image data!");
    EXPECT_EQ(Listing(folder.Path()), std::vector<std::string>{"photo.png"});
    EXPECT_EQ(write.Commit("again.png"), B_NO_INIT);
}

TEST(SafeWriteTest, ExchangeSwapsWithTheEntryInOneStepAndCanBeUndone) {
    TempFolder folder;
    WriteFile(folder / "photo.png", "old");
    orv::SafeWrite write;
    ASSERT_EQ(write.Open(folder.Path()), B_OK);
    ASSERT_EQ(write.File()->Write("new", 3), 3);

    std::string displaced;
    ASSERT_EQ(write.Exchange("photo.png", &displaced), B_OK);
    EXPECT_EQ(ReadFile(folder / "photo.png"), "new");
    EXPECT_EQ(ReadFile(displaced), "old");
    EXPECT_EQ(displaced.rfind(folder / orv::TemporaryPrefix(), 0), 0u);

    // Undone, the old file has its name back and the new one can take another.
    ASSERT_EQ(write.UndoExchange(), B_OK);
    EXPECT_EQ(ReadFile(folder / "photo.png"), "old");
    ASSERT_EQ(write.Commit("photo.png 2"), B_OK);
    EXPECT_EQ(ReadFile(folder / "photo.png 2"), "new");
    EXPECT_EQ(Listing(folder.Path()), (std::vector<std::string>{"photo.png", "photo.png 2"}));
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
    ASSERT_EQ(write.Open(folder.Path()), B_OK);  // reopening drops the first file
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
