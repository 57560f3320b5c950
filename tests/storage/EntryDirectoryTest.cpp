// SPDX-License-Identifier: MIT
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/storage/Directory.h"
#include "platform/storage/Entry.h"
#include "platform/storage/StorageDefs.h"
#include "tests/TempFolder.h"

namespace {

using orvtest::Present;
using orvtest::ReadFile;
using orvtest::TempFolder;
using orvtest::WriteFile;

std::vector<std::string> Names(BDirectory* directory) {
    std::vector<std::string> names;
    entry_ref ref;
    while (directory->GetNextRef(&ref) == B_OK) {
        names.push_back(ref.name);
    }
    return names;
}

TEST(DirectoryTest, ListsEntriesSortedBytewiseWithoutDotEntries) {
    TempFolder folder;
    // Upper case before lower case, digits first, a UTF-8 lead byte after every ASCII one.
    for (const char* name : {"b.png", "\xc3\xa9t\xc3\xa9.jpg", "B.png", "10.gif", "2.gif", "a"}) {
        WriteFile(folder / name, "");
    }
    mkdir((folder / "sub").c_str(), 0755);
    ASSERT_EQ(symlink("nowhere", (folder / "link").c_str()), 0);

    BDirectory directory(folder.Path().c_str());
    ASSERT_EQ(directory.InitCheck(), B_OK);
    const std::vector<std::string> expected = {"10.gif", "2.gif", "B.png", "a",
                                               "b.png",  "link",  "sub",   "\xc3\xa9t\xc3\xa9.jpg"};
    EXPECT_EQ(directory.CountEntries(), 8);
    EXPECT_EQ(Names(&directory), expected);

    entry_ref ref;
    EXPECT_EQ(directory.GetNextRef(&ref), B_ENTRY_NOT_FOUND);
    // Rewind reads the folder again, so entries made since then show up in their place.
    WriteFile(folder / "c", "");
    ASSERT_EQ(directory.Rewind(), B_OK);
    ASSERT_EQ(directory.GetNextRef(&ref), B_OK);
    EXPECT_EQ(ref.directory, folder.Path());
    EXPECT_EQ(ref.name, "10.gif");
    EXPECT_EQ(directory.CountEntries(), 9);
    EXPECT_EQ(Names(&directory).size(), 8u);  // the position survives CountEntries
}

TEST(DirectoryTest, RefusesWhatIsNotAFolder) {
    TempFolder folder;
    WriteFile(folder / "file", "");
    EXPECT_EQ(BDirectory((folder / "file").c_str()).InitCheck(), B_NOT_A_DIRECTORY);
    EXPECT_EQ(BDirectory((folder / "missing").c_str()).InitCheck(), B_ENTRY_NOT_FOUND);

    BDirectory empty(folder.Path().c_str());
    mkdir((folder / "sub").c_str(), 0755);
    EXPECT_TRUE(empty.Contains("file"));
    EXPECT_TRUE(empty.Contains("sub/../file"));
    EXPECT_FALSE(empty.Contains("missing"));
    EXPECT_FALSE(empty.Contains((std::string("sub/../../") + folder.Path().substr(5)).c_str()));
    const BEntry inside((folder / "file").c_str());
    const BEntry outside("/tmp");
    EXPECT_TRUE(empty.Contains(&inside));
    EXPECT_FALSE(empty.Contains(&outside));
}

TEST(EntryTest, NeverFollowsLinks) {
    TempFolder folder;
    WriteFile(folder / "target", "data");
    mkdir((folder / "dir").c_str(), 0755);
    ASSERT_EQ(symlink("target", (folder / "good").c_str()), 0);
    ASSERT_EQ(symlink("gone", (folder / "dangling").c_str()), 0);
    ASSERT_EQ(symlink("dir", (folder / "dirlink").c_str()), 0);

    struct Case {
        const char* name;
        bool exists, file, directory, link;
    };
    const Case cases[] = {
        {"target", true, true, false, false},  {"dir", true, false, true, false},
        {"good", true, false, false, true},    {"dangling", true, false, false, true},
        {"dirlink", true, false, false, true}, {"missing", false, false, false, false},
    };
    BDirectory directory(folder.Path().c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BEntry entry(&directory, c.name);
        ASSERT_EQ(entry.InitCheck(), B_OK);
        EXPECT_EQ(entry.Exists(), c.exists);
        EXPECT_EQ(entry.IsFile(), c.file);
        EXPECT_EQ(entry.IsDirectory(), c.directory);
        EXPECT_EQ(entry.IsSymLink(), c.link);
    }

    // Asked to traverse, an entry names the final target.
    const BEntry traversed(&directory, "good", true);
    EXPECT_EQ(traversed.Path(), folder / "target");
    EXPECT_TRUE(traversed.IsFile());
}

TEST(EntryTest, BuildsCanonicalRefsFromPaths) {
    TempFolder folder;
    mkdir((folder / "a").c_str(), 0755);
    WriteFile(folder / "a/f", "");
    ASSERT_EQ(symlink("a", (folder / "alias").c_str()), 0);

    struct Case {
        std::string path;
        std::string directory, name;
    };
    const Case cases[] = {
        {folder / "a/f", folder / "a", "f"},        {folder / "a/../a/./f", folder / "a", "f"},
        {folder / "alias/f", folder / "a", "f"},  // a link in the folder part is resolved
        {folder / "a/", folder.Path(), "a"},        {folder / "a/.", folder.Path(), "a"},
        {folder / "alias", folder.Path(), "alias"},  // but never the leaf
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const BEntry entry(c.path.c_str());
        entry_ref ref;
        ASSERT_EQ(entry.GetRef(&ref), B_OK);
        EXPECT_EQ(ref.directory, c.directory);
        EXPECT_EQ(ref.name, c.name);
    }

    // A relative path is taken from the current folder.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(folder.Path().c_str()), 0);
    const BEntry relative("a/f");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(relative.Path(), folder / "a/f");

    EXPECT_EQ(BEntry("").InitCheck(), B_BAD_VALUE);
    EXPECT_EQ(BEntry(static_cast<const char*>(nullptr)).InitCheck(), B_BAD_VALUE);
}

TEST(EntryTest, NameAndParent) {
    TempFolder folder;
    const std::string longest(255, 'x');
    WriteFile(folder / longest, "");
    const BEntry entry((folder / longest).c_str());
    char name[B_FILE_NAME_LENGTH];
    ASSERT_EQ(entry.GetName(name), B_OK);
    EXPECT_EQ(std::string(name), longest);

    BDirectory parent;
    ASSERT_EQ(entry.GetParent(&parent), B_OK);
    EXPECT_EQ(parent.Path(), folder.Path());
    BEntry parentEntry;
    ASSERT_EQ(entry.GetParent(&parentEntry), B_OK);
    EXPECT_TRUE(parentEntry.IsDirectory());

    BEntry unset;
    EXPECT_EQ(unset.GetName(name), B_NO_INIT);
    EXPECT_STREQ(name, "");
    EXPECT_FALSE(unset.Exists());
}

TEST(EntryTest, MoveToNeverReplacesWithoutClobber) {
    TempFolder folder;
    mkdir((folder / "trash").c_str(), 0755);
    WriteFile(folder / "photo.jpg", "source");
    WriteFile(folder / "trash/photo.jpg", "already there");
    BDirectory trash((folder / "trash").c_str());

    BEntry entry((folder / "photo.jpg").c_str());
    EXPECT_EQ(entry.MoveTo(&trash), B_FILE_EXISTS);
    EXPECT_EQ(ReadFile(folder / "photo.jpg"), "source");
    EXPECT_EQ(ReadFile(folder / "trash/photo.jpg"), "already there");
    EXPECT_EQ(entry.Path(), folder / "photo.jpg");

    // A dangling link occupies its name as well.
    ASSERT_EQ(symlink("gone", (folder / "trash/taken").c_str()), 0);
    EXPECT_EQ(entry.MoveTo(&trash, "taken"), B_FILE_EXISTS);
    EXPECT_TRUE(Present(folder / "photo.jpg"));

    ASSERT_EQ(entry.MoveTo(&trash, "free.jpg"), B_OK);
    EXPECT_EQ(entry.Path(), folder / "trash/free.jpg");
    EXPECT_EQ(ReadFile(folder / "trash/free.jpg"), "source");
    EXPECT_FALSE(Present(folder / "photo.jpg"));

    ASSERT_EQ(entry.MoveTo(&trash, "photo.jpg", true), B_OK);
    EXPECT_EQ(ReadFile(folder / "trash/photo.jpg"), "source");

    EXPECT_EQ(entry.MoveTo(&trash, "a/b"), B_BAD_VALUE);
    EXPECT_EQ(entry.Rename(".."), B_BAD_VALUE);
}

TEST(EntryTest, MovesAndRemovesLinksThemselves) {
    TempFolder folder;
    WriteFile(folder / "target", "keep me");
    ASSERT_EQ(symlink("target", (folder / "link").c_str()), 0);
    mkdir((folder / "dir").c_str(), 0755);

    BEntry link((folder / "link").c_str());
    ASSERT_EQ(link.Rename("renamed"), B_OK);
    EXPECT_TRUE(BEntry((folder / "renamed").c_str()).IsSymLink());
    ASSERT_EQ(link.Remove(), B_OK);
    EXPECT_FALSE(link.Exists());
    EXPECT_EQ(ReadFile(folder / "target"), "keep me");

    BEntry dir((folder / "dir").c_str());
    EXPECT_EQ(dir.Remove(), B_OK);
    EXPECT_FALSE(Present(folder / "dir"));
    EXPECT_NE(dir.Remove(), B_OK);
}

}  // namespace
