#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "base/Exceptions.h"
#include "platform/DateFormat.h"
#include "platform/Drives.h"
#include "platform/Folders.h"
#include "platform/LocalFiles.h"
#include "platform/Profile.h"
#include "platform/ProgramPaths.h"
#include "platform/RecordFile.h"
#include "platform/Shell.h"

using namespace platform;

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tarn-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }
    std::string Read(const std::string& path) { return ReadLocal(path); }
    std::string Dir;
};

TEST_F(FilesTest, ProfileKeepsInsertionOrderWithoutBlankLines) {
    const std::string ini = Dir + "/t.ini";
    ASSERT_TRUE(WritePrivateProfileString("Options", "F1", "", ini));
    ASSERT_TRUE(WritePrivateProfileString("Options", "F2", "b", ini));
    ASSERT_TRUE(WritePrivateProfileString("History", "Last Dir", "/home/u/", ini));
    ASSERT_TRUE(WritePrivateProfileString("options", "sortd", "1", ini));  // new key, existing section
    ASSERT_TRUE(WritePrivateProfileString("OPTIONS", "f2", "c", ini));     // replaced in place
    EXPECT_EQ(Read(ini), "[Options]\nF1=\nF2=c\nsortd=1\n[History]\nLast Dir=/home/u/\n");
    EXPECT_FALSE(std::filesystem::exists(ini + ".tmp"));
}

TEST_F(FilesTest, ProfileReadsHandWrittenFilesTrimmedAndIgnoringCase) {
    const std::string ini = Dir + "/h.ini";
    std::ofstream(ini) << "[History]\r\n  Last DirBox =  /srv/data  \r\n\r\n[Options]\r\nF1=x\r\n";
    EXPECT_EQ(GetPrivateProfileString("history", "LAST DIRBOX", "d", ini), "/srv/data");
    EXPECT_EQ(GetPrivateProfileString("Options", "F1", "d", ini), "x");
    EXPECT_EQ(GetPrivateProfileString("Options", "F2", "d", ini), "d");
    EXPECT_EQ(GetPrivateProfileString("Missing", "F1", "", Dir + "/none.ini"), "");
    EXPECT_EQ(GetPrivateProfileString("Options", "F1", "", ini, 1), "");  // room for nothing
    // A key added to the first section goes after its last line, before the blank one.
    ASSERT_TRUE(WritePrivateProfileString("History", "Ascii", "0", ini));
    EXPECT_EQ(Read(ini), "[History]\n  Last DirBox =  /srv/data  \nAscii=0\n\n[Options]\nF1=x\n");
}

TEST_F(FilesTest, RefusedProfileWritesLeaveNothingBehind) {
    const std::string ini = Dir + "/folder.ini";
    std::filesystem::create_directory(ini);  // a folder where the file should be
    EXPECT_FALSE(WritePrivateProfileString("Options", "F1", "x", ini));
    EXPECT_FALSE(std::filesystem::exists(ini + ".tmp"));
    EXPECT_FALSE(WritePrivateProfileString("Options", "F1", "two\nlines", Dir + "/ok.ini"));
    EXPECT_FALSE(std::filesystem::exists(Dir + "/ok.ini"));

    // A temporary file left by a crash, here a link to a file elsewhere, is
    // replaced, not written through; the settings file keeps its mode.
    const std::string kept = Dir + "/kept.ini", elsewhere = Dir + "/elsewhere";
    std::ofstream(kept) << "[Options]\n";
    ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
    std::ofstream(elsewhere) << "untouched";
    std::filesystem::create_symlink(elsewhere, kept + ".tmp");
    ASSERT_TRUE(WritePrivateProfileString("Options", "F1", "x", kept));
    EXPECT_EQ(Read(kept), "[Options]\nF1=x\n");
    EXPECT_EQ(Read(elsewhere), "untouched");
    EXPECT_FALSE(std::filesystem::exists(kept + ".tmp"));
    struct stat st {};
    ASSERT_EQ(stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(FilesTest, WindowsFolderFollowsXdgConfigHomeAndIsPrivate) {
    const char* saved = getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", (Dir + "/cfg").c_str(), 1);
    EXPECT_EQ(GetWindowsDirectory(), Dir + "/cfg/tarnwick-ftp");
    struct stat st {};
    ASSERT_EQ(stat((Dir + "/cfg/tarnwick-ftp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not absolute: ignored
    setenv("HOME", Dir.c_str(), 1);
    EXPECT_EQ(GetWindowsDirectory(), Dir + "/.config/tarnwick-ftp");
    setenv("HOME", savedHome.c_str(), 1);
    if (saved) setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}

// No per-user folder can be made (a file stands in the way): nothing falls
// back to the current folder, neither the folder nor a settings write.
TEST_F(FilesTest, WithoutTheWindowsFolderNothingIsWrittenInTheCurrentFolder) {
    const char* saved = getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    std::ofstream(Dir + "/blocker") << "x";
    setenv("XDG_CONFIG_HOME", (Dir + "/blocker").c_str(), 1);
    EXPECT_EQ(GetWindowsDirectory(), "");
    EXPECT_THROW(GetWindowsFolder(), Exception);
    if (saved) setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");

    const std::string browsed = Dir + "/browsed";
    std::filesystem::create_directory(browsed);
    const std::string cwd = CurrentFolder();
    SetCurrentFolder(browsed);
    std::ofstream("TarnFtp.ini") << "[Options]\nF1=/here\n";
    // The paths a window composes from an empty folder name, and plain names.
    for (const std::string& name : {std::string(), std::string("TarnFtp.ini"), std::string("./x.ini")}) {
        EXPECT_FALSE(WritePrivateProfileString("Options", "F1", "v", name)) << name;
        EXPECT_EQ(GetPrivateProfileString("Options", "F1", "default", name), "default") << name;
    }
    SetCurrentFolder(cwd);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(browsed)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"TarnFtp.ini"});
    EXPECT_EQ(Read(browsed + "/TarnFtp.ini"), "[Options]\nF1=/here\n");
}

TEST_F(FilesTest, RecordFileSeesOnlyWholeRecords) {
    const std::string path = Dir + "/r.dat";
    std::ofstream(path, std::ios::binary) << std::string(10, 'a') << std::string(4, 'b');
    TRecordFile file(path, 5);
    file.Reset();
    EXPECT_EQ(file.FileSize(), 2);
    char rec[5];
    file.Read(rec);
    EXPECT_FALSE(file.Eof());
    file.Read(rec);
    EXPECT_TRUE(file.Eof());
    EXPECT_THROW(file.Read(rec), EInOutError);
    file.Seek(1);
    file.Write("ccccc");
    file.Close();
    EXPECT_EQ(Read(path), "aaaaacccccbbbb");
    TRecordFile missing(Dir + "/none.dat", 5);
    EXPECT_THROW(missing.Reset(), EInOutError);
}

TEST_F(FilesTest, ShellOpenRefusesWhatItCannotOpen) {
    EXPECT_EQ(XdgOpen({"open", Dir + "/missing.htm", "", "", SW_SHOWNORMAL}), SE_ERR_FNF);
    EXPECT_EQ(XdgOpen({"print", Dir, "", "", SW_SHOWNORMAL}), SE_ERR_NOASSOC);
    ShellRequest seen;
    SetShellRunner([&](const ShellRequest& r) {
        seen = r;
        return std::intptr_t{5};
    });
    EXPECT_EQ(ShellExecute("open", "mailto:a@example.com", "", "", SW_SHOWMAXIMIZED), 5);
    EXPECT_EQ(seen.File, "mailto:a@example.com");
    EXPECT_EQ(seen.ShowCmd, SW_SHOWMAXIMIZED);
    SetShellRunner({});
}

}  // namespace

namespace {

TEST(DrivesTest, OnlyRealFileSystemsCountAsDrives) {
    const std::string table =
        "proc /proc proc rw 0 0\n"
        "sysfs /sys sysfs rw 0 0\n"
        "/dev/vda / ext4 rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "tmpfs /run/user/0 tmpfs rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "/dev/sdb1 /media/USB\\040Stick vfat rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "binfmt_misc /somewhere/binfmt binfmt_misc rw 0 0\n"
        "/dev/vda / ext4 rw 0 0\n"
        "broken line\n";
    EXPECT_EQ(RealMountPoints(table), (std::vector<std::string>{"/", "/media/USB Stick", "/tmp"}));

    const std::vector<std::string> drives{"/", "/media/USB Stick", "/home"};
    EXPECT_EQ(DriveOf("/home/u/docs", drives), "/home");
    EXPECT_EQ(DriveOf("/homework", drives), "/");
    EXPECT_EQ(DriveOf("/media/USB Stick", drives), "/media/USB Stick");

    const std::vector<std::string> mounted = MountedDrives();
    EXPECT_NE(std::find(mounted.begin(), mounted.end(), "/"), mounted.end());
}

TEST_F(FilesTest, FoldersAreReadEnteredAndNormalised) {
    std::filesystem::create_directories(Dir + "/sub");
    std::ofstream(Dir + "/file") << "x";
    std::vector<FolderEntry> entries = ReadFolder(Dir);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.Name < b.Name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Name, "file");
    EXPECT_FALSE(entries[0].IsFolder);
    EXPECT_EQ(entries[1].Name, "sub");
    EXPECT_TRUE(entries[1].IsFolder);
    EXPECT_THROW(ReadFolder(Dir + "/missing"), Exception);

    const std::string before = CurrentFolder();
    SetCurrentFolder(Dir);
    EXPECT_EQ(CurrentFolder(), Dir);
    EXPECT_EQ(NormalFolder("sub/../sub/"), Dir + "/sub");
    EXPECT_EQ(NormalFolder("/"), "/");
    EXPECT_THROW(SetCurrentFolder(Dir + "/file"), Exception);
    EXPECT_EQ(CurrentFolder(), Dir);
    SetCurrentFolder(before);
}

TEST_F(FilesTest, AShippedFileComesFromBesideTheProgramElseTheDataFolder) {
    const std::string beside = Dir + "/bin", data = Dir + "/share";
    std::filesystem::create_directories(beside + "/page.htm");  // a folder of that name does not count
    std::filesystem::create_directories(data);
    EXPECT_EQ(FirstHolding({beside, data}, "page.htm"), beside + "/page.htm");
    std::ofstream(data + "/page.htm") << "x";
    EXPECT_EQ(FirstHolding({beside, data}, "page.htm"), data + "/page.htm");
    std::filesystem::remove(beside + "/page.htm");
    std::ofstream(beside + "/page.htm") << "x";
    EXPECT_EQ(FirstHolding({beside, data}, "page.htm"), beside + "/page.htm");
}

TEST_F(FilesTest, LocalFileOperationsNeverReplaceAndNeverFollowLinks) {
    const std::string a = Dir + "/a";
    const std::string b = Dir + "/b";
    std::ofstream(a) << "AAA";
    std::ofstream(b) << "BBB";
    EXPECT_FALSE(RenameFile(a, b));
    EXPECT_EQ(Read(a), "AAA");
    EXPECT_EQ(Read(b), "BBB");
    EXPECT_TRUE(RenameFile(a, a));
    EXPECT_TRUE(RenameFile(a, Dir + "/c"));
    EXPECT_FALSE(RenameFile(a, Dir + "/d"));  // gone already
    EXPECT_EQ(Read(Dir + "/c"), "AAA");

    // Write-protected files and folders are not deleted; a link goes, not its target.
    chmod(b.c_str(), 0444);
    EXPECT_FALSE(DeleteFile(b));
    EXPECT_TRUE(std::filesystem::exists(b));
    ASSERT_TRUE(MakeFolder(Dir + "/f"));
    EXPECT_FALSE(MakeFolder(Dir + "/f"));
    EXPECT_FALSE(DeleteFile(Dir + "/f"));
    std::filesystem::create_symlink(b, Dir + "/link");
    EXPECT_TRUE(DeleteFile(Dir + "/link"));
    EXPECT_TRUE(std::filesystem::exists(b));

    // Only an empty folder is removed, never through a link.
    std::filesystem::create_directory_symlink(Dir + "/f", Dir + "/flink");
    EXPECT_FALSE(RemoveFolder(Dir + "/flink"));
    std::ofstream(Dir + "/f/x") << "x";
    EXPECT_FALSE(RemoveFolder(Dir + "/f"));
    std::filesystem::remove(Dir + "/f/x");
    EXPECT_TRUE(RemoveFolder(Dir + "/f"));

    for (const char* bad : {"", ".", "..", "a/b", "/abs"}) EXPECT_FALSE(IsPlainName(bad)) << bad;
    for (const char* good : {"a", "..a", " x ", "a.b"}) EXPECT_TRUE(IsPlainName(good)) << good;
    EXPECT_EQ(JoinPath("/", "x"), "/x");
    EXPECT_EQ(JoinPath("/a", "x"), "/a/x");
}

// A download's scratch file is always new, and replacing the real name
// takes a file or a link itself, never a folder nor what a link points to.
TEST_F(FilesTest, ScratchFilesAreNewAndReplaceNeverTakesAFolderOrALinksTarget) {
    std::ofstream(Dir + "/.n.part") << "someone else's";
    const std::string first = CreateScratchFile(Dir, "n");
    EXPECT_EQ(first, Dir + "/.n.1.part");
    EXPECT_EQ(Read(Dir + "/.n.part"), "someone else's");
    EXPECT_EQ(Read(first), "");
    EXPECT_EQ(CreateScratchFile(Dir, "n"), Dir + "/.n.2.part");
    EXPECT_EQ(CreateScratchFile(Dir + "/missing", "n"), "");

    std::ofstream(first) << "new";
    std::ofstream(Dir + "/outside") << "outside";
    std::filesystem::create_symlink(Dir + "/outside", Dir + "/n");
    EXPECT_TRUE(ReplaceFile(first, Dir + "/n"));
    EXPECT_FALSE(std::filesystem::is_symlink(Dir + "/n"));
    EXPECT_EQ(Read(Dir + "/n"), "new");
    EXPECT_EQ(Read(Dir + "/outside"), "outside");

    ASSERT_TRUE(MakeFolder(Dir + "/folder"));
    std::ofstream(Dir + "/s") << "s";
    EXPECT_FALSE(ReplaceFile(Dir + "/s", Dir + "/folder"));
    EXPECT_TRUE(std::filesystem::is_directory(Dir + "/folder"));
    EXPECT_EQ(FileNamePart("/a/b.txt"), "b.txt");
    EXPECT_EQ(FileNamePart("b.txt"), "b.txt");

    // Names up to the file system's limit get a scratch file too, its name
    // cut (never inside a UTF-8 character) and still unique.
    const std::string longest(255, 'L');
    const std::string a = CreateScratchFile(Dir, longest);
    const std::string b = CreateScratchFile(Dir, longest);
    ASSERT_NE(a, "");
    ASSERT_NE(b, "");
    EXPECT_NE(a, b);
    EXPECT_LE(FileNamePart(a).size(), 255u);
    EXPECT_EQ(FileNamePart(a).rfind("." + std::string(10, 'L'), 0), 0u);
    std::string accented;
    while (accented.size() < 250) accented += "\xC3\xA9";  // e acute, two bytes each
    const std::string c = CreateScratchFile(Dir, accented);
    ASSERT_NE(c, "");
    const std::string kept = FileNamePart(c).substr(1, FileNamePart(c).size() - 1 - std::string(".part").size());
    EXPECT_EQ(kept.size() % 2, 0u) << kept.size();
    EXPECT_TRUE(ReplaceFile(a, Dir + "/" + longest));
}

TEST(DateFormatTest, TheTimeIsLeftOutAtMidnightOnly) {
    std::tm day{};
    day.tm_year = 2021 - 1900;
    day.tm_mon = 2;
    day.tm_mday = 4;
    day.tm_isdst = -1;
    const std::time_t midnight = std::mktime(&day);
    char date[64];
    std::strftime(date, sizeof date, "%x", &day);
    EXPECT_EQ(DateTimeToStr(midnight), date);
    char time[64];
    std::tm later = day;
    later.tm_sec = 7;
    const std::time_t seven = std::mktime(&later);
    std::strftime(time, sizeof time, "%X", &later);
    EXPECT_EQ(DateTimeToStr(seven), std::string(date) + " " + time);
}

}  // namespace
