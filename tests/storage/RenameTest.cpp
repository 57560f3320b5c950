// SPDX-License-Identifier: MIT
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/storage/Rename.h"
#include "tests/TempFolder.h"

namespace {

using orvtest::Present;
using orvtest::ReadFile;
using orvtest::TempFolder;
using orvtest::WriteFile;

using MoveFunction = status_t (*)(const char*, const char*);

// The same promises from renameat2 and from the fallback some file systems need.
class NoReplaceTest : public testing::TestWithParam<MoveFunction> {};

TEST_P(NoReplaceTest, NeverReplacesAnything) {
    const MoveFunction move = GetParam();
    TempFolder folder;
    WriteFile(folder / "source", "new");
    WriteFile(folder / "file", "old");
    mkdir((folder / "dir").c_str(), 0755);
    ASSERT_EQ(symlink("gone", (folder / "dangling").c_str()), 0);
    for (const char* taken : {"file", "dir", "dangling"}) {
        EXPECT_EQ(move((folder / "source").c_str(), (folder / taken).c_str()), B_FILE_EXISTS)
            << taken;
    }
    EXPECT_EQ(ReadFile(folder / "source"), "new");
    EXPECT_EQ(ReadFile(folder / "file"), "old");

    ASSERT_EQ(move((folder / "source").c_str(), (folder / "free").c_str()), B_OK);
    EXPECT_FALSE(Present(folder / "source"));
    EXPECT_EQ(ReadFile(folder / "free"), "new");
    EXPECT_NE(move((folder / "source").c_str(), (folder / "other").c_str()), B_OK);
}

TEST_P(NoReplaceTest, MovesLinksAndFoldersThemselves) {
    const MoveFunction move = GetParam();
    TempFolder folder;
    WriteFile(folder / "target", "data");
    ASSERT_EQ(symlink("target", (folder / "link").c_str()), 0);
    mkdir((folder / "dir").c_str(), 0755);
    WriteFile(folder / "dir/inside", "");

    ASSERT_EQ(move((folder / "link").c_str(), (folder / "moved-link").c_str()), B_OK);
    struct stat st;
    ASSERT_EQ(lstat((folder / "moved-link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(folder / "target"), "data");

    ASSERT_EQ(move((folder / "dir").c_str(), (folder / "moved-dir").c_str()), B_OK);
    EXPECT_TRUE(Present(folder / "moved-dir/inside"));
    EXPECT_EQ(move((folder / "moved-dir").c_str(), (folder / "target").c_str()), B_FILE_EXISTS);
}

INSTANTIATE_TEST_SUITE_P(RenameAndFallback, NoReplaceTest,
                         testing::Values(&orv::RenameNoReplace, &orv::MoveByLink));

}  // namespace
