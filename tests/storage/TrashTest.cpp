// SPDX-License-Identifier: MIT
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/storage/Entry.h"
#include "platform/storage/Trash.h"
#include "tests/TempFolder.h"

namespace {

using orvtest::Present;
using orvtest::ReadFile;
using orvtest::ScopedEnv;
using orvtest::TempFolder;
using orvtest::WriteFile;

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool IsDate(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != shape.size()) {
        return false;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool ok = shape[i] == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == shape[i];
        if (!ok) {
            return false;
        }
    }
    return true;
}

void ExpectInfo(const std::string& infoPath, const std::string& recordedPath) {
    const std::string info = ReadFile(infoPath);
    const std::string head = "[Trash Info]\nPath=" + recordedPath + "\nDeletionDate=";
    ASSERT_EQ(info.substr(0, head.size()), head) << info;
    ASSERT_EQ(info.back(), '\n') << info;
    EXPECT_TRUE(IsDate(info.substr(head.size(), info.size() - head.size() - 1))) << info;
}

// A home without ~/.local/share, the way a fresh account starts.
class TrashTest : public testing::Test {
protected:
    TempFolder fHome;
    TempFolder fWork;
    ScopedEnv fHomeVar{"HOME", fHome.Path().c_str()};
    ScopedEnv fDataVar{"XDG_DATA_HOME", nullptr};
    std::string fTrash = fHome / ".local/share/Trash";
};

TEST_F(TrashTest, CreatesTheHomeTrashAndWritesARestorableEntry) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(fWork.Path().c_str()), 0);

    const std::string source = fWork / "Vacances d'\xc3\xa9t\xc3\xa9 #1.jpg";
    WriteFile(source, "picture");
    std::string trashed;
    const status_t status = orv::MoveToTrash(source, &trashed);
    ASSERT_EQ(chdir(cwd), 0);
    ASSERT_EQ(status, B_OK);

    EXPECT_EQ(orv::HomeTrashPath(), fTrash);
    EXPECT_EQ(trashed, fTrash + "/files/Vacances d'\xc3\xa9t\xc3\xa9 #1.jpg");
    EXPECT_EQ(ReadFile(trashed), "picture");
    EXPECT_FALSE(Present(source));
    ExpectInfo(fTrash + "/info/Vacances d'\xc3\xa9t\xc3\xa9 #1.jpg.trashinfo",
               fWork.Path() + "/Vacances%20d%27%C3%A9t%C3%A9%20%231.jpg");
    for (const char* folder : {"/.local", "/.local/share", "/.local/share/Trash",
                               "/.local/share/Trash/files", "/.local/share/Trash/info"}) {
        EXPECT_EQ(ModeOf(fHome.Path() + folder), 0700u) << folder;
    }
    // Nothing strays into the working folder, as a trash that could not be made once did.
    EXPECT_FALSE(Present(fWork / "files"));
}

TEST_F(TrashTest, SameNameTwiceKeepsBoth) {
    for (const char* content : {"first", "second", "third"}) {
        WriteFile(fWork / "photo.jpg", content);
        ASSERT_EQ(orv::MoveToTrash(fWork / "photo.jpg"), B_OK);
    }
    // A file left in files/ without its info must not be replaced either.
    WriteFile(fTrash + "/files/photo.jpg-0003", "orphan");
    WriteFile(fWork / "photo.jpg", "fourth");
    std::string trashed;
    ASSERT_EQ(orv::MoveToTrash(fWork / "photo.jpg", &trashed), B_OK);
    EXPECT_EQ(trashed, fTrash + "/files/photo.jpg-0004");

    EXPECT_EQ(ReadFile(fTrash + "/files/photo.jpg"), "first");
    EXPECT_EQ(ReadFile(fTrash + "/files/photo.jpg-0001"), "second");
    EXPECT_EQ(ReadFile(fTrash + "/files/photo.jpg-0002"), "third");
    EXPECT_EQ(ReadFile(fTrash + "/files/photo.jpg-0003"), "orphan");
    EXPECT_EQ(ReadFile(fTrash + "/files/photo.jpg-0004"), "fourth");
    EXPECT_FALSE(Present(fTrash + "/info/photo.jpg-0003.trashinfo"));
    for (const char* info : {"photo.jpg", "photo.jpg-0001", "photo.jpg-0002", "photo.jpg-0004"}) {
        ExpectInfo(fTrash + "/info/" + info + ".trashinfo", fWork / "photo.jpg");
    }
}

TEST_F(TrashTest, HonoursXdgDataHomeAndTrashesLinksThemselves) {
    ScopedEnv data("XDG_DATA_HOME", (fHome / "data").c_str());
    WriteFile(fWork / "target", "stays");
    ASSERT_EQ(symlink("target", (fWork / "link").c_str()), 0);
    std::string trashed;
    ASSERT_EQ(orv::MoveToTrash(BEntry((fWork / "link").c_str()), &trashed), B_OK);
    EXPECT_EQ(trashed, fHome / "data/Trash/files/link");
    struct stat st;
    ASSERT_EQ(lstat(trashed.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(fWork / "target"), "stays");

    // A relative XDG_DATA_HOME is invalid and ignored.
    ScopedEnv relative("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(orv::HomeTrashPath(), fTrash);
}

TEST_F(TrashTest, LongNamesStillFitTheInfoFile) {
    const std::string name = std::string(240, 'a') + "\xc3\xa9\xc3\xa9\xc3\xa9.jpg";
    ASSERT_LE(name.size(), 255u);
    WriteFile(fWork / name, "x");
    std::string trashed;
    ASSERT_EQ(orv::MoveToTrash(fWork / name, &trashed), B_OK);
    const std::string leaf = trashed.substr(trashed.rfind('/') + 1);
    EXPECT_LE(leaf.size() + 10, 255u);
    // Cut between characters, never inside one.
    EXPECT_NE(static_cast<unsigned char>(leaf.back()) & 0xC0, 0xC0);
    EXPECT_TRUE(Present(fTrash + "/info/" + leaf + ".trashinfo"));
}

TEST_F(TrashTest, MissingFileFailsAndLeavesNoInfo) {
    EXPECT_NE(orv::MoveToTrash(fWork / "missing"), B_OK);
    EXPECT_FALSE(Present(fTrash + "/info/missing.trashinfo"));
}

// A file on another mount goes to that mount's trash, never across devices.
class OtherMountTest : public TrashTest {
protected:
    void SetUp() override {
        if (mount("orvane-test", fMount.Path().c_str(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here (not root, or no permission)";
        }
        fMounted = true;
    }
    void TearDown() override {
        if (fMounted) {
            umount2(fMount.Path().c_str(), MNT_DETACH);
        }
    }
    TempFolder fMount;
    bool fMounted = false;
};

TEST_F(OtherMountTest, UsesThePerUserTopdirTrash) {
    mkdir((fMount / "sub").c_str(), 0755);
    WriteFile(fMount / "sub/photo 1.png", "png");
    std::string trashed;
    ASSERT_EQ(orv::MoveToTrash(fMount / "sub/photo 1.png", &trashed), B_OK);
    const std::string trash = fMount / (".Trash-" + std::to_string(getuid()));
    EXPECT_EQ(trashed, trash + "/files/photo 1.png");
    EXPECT_EQ(ModeOf(trash), 0700u);
    // Relative to the mount, so it restores wherever the disk is mounted next.
    ExpectInfo(trash + "/info/photo 1.png.trashinfo", "sub/photo%201.png");
    EXPECT_FALSE(Present(fTrash + "/files/photo 1.png"));
}

TEST_F(OtherMountTest, UsesASharedStickyTrashButNotALink) {
    mkdir((fMount / ".Trash").c_str(), 01777);
    chmod((fMount / ".Trash").c_str(), 01777);
    WriteFile(fMount / "a.png", "a");
    std::string trashed;
    ASSERT_EQ(orv::MoveToTrash(fMount / "a.png", &trashed), B_OK);
    EXPECT_EQ(trashed, fMount / (".Trash/" + std::to_string(getuid()) + "/files/a.png"));

    // A .Trash that is a link (to anywhere) is never trusted.
    ASSERT_EQ(rename((fMount / ".Trash").c_str(), (fMount / "elsewhere").c_str()), 0);
    ASSERT_EQ(symlink("elsewhere", (fMount / ".Trash").c_str()), 0);
    WriteFile(fMount / "b.png", "b");
    ASSERT_EQ(orv::MoveToTrash(fMount / "b.png", &trashed), B_OK);
    EXPECT_EQ(trashed, fMount / (".Trash-" + std::to_string(getuid()) + "/files/b.png"));
}

}  // namespace
