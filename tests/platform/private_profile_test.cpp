#include "platform/private_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/profile_text.h"
#include "platform/removable_volumes.h"
#include "support/temp_dir.h"

using namespace locket;
namespace fs = std::filesystem;

namespace {

// A recorder's settings file as the card holds it: CR LF, comments, spacing and keys the viewer
// never writes.
constexpr const char* kRecorderFile =
    "; KX2 settings\r\n"
    "[blackbox]\r\n"
    "dim_front = hd\r\n"
    "Acc_Level=3\r\n"
    "version=1.02.0007b\r\n"
    "\r\n"
    "; shares add up to 100\r\n"
    "[CAPACITY]\r\n"
    "const=40\r\n"
    "event = 30 \r\n"
    "\r\n";

using testsupport::ReadText;
using testsupport::WriteText;

// The recorder's file with the first `from` in it replaced by `to`.
std::string RecorderFileWith(const std::string& from, const std::string& to) {
    std::string text = kRecorderFile;
    return text.replace(text.find(from), from.size(), to);
}

// The files in a folder, to see that a save leaves no temporary file behind.
size_t FileCount(const std::string& folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

TEST(ProfileText, FindsValuesByTheWindowsRules) {
    struct Case {
        const char* text;
        const char* section;
        const char* key;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"  [ config ]  \n\t volume \t=\t 7 \r\n", "config", "volume", "7"},
        {"[s]\nk=\"quoted \"\nq='x'\n", "s", "k", "quoted "},
        {"[s]\nk=\"unpaired\n", "s", "k", "\"unpaired"},
        {"[s]\nk=a=b\nempty=\n", "s", "k", "a=b"},
        {"[s]\nempty=\n", "s", "empty", ""},
        {"[s]\n;k=comment\nk\n", "s", "k", std::nullopt},
        {"k=before any section\n[s]\n", "s", "k", std::nullopt},
        {"[s\nk=1\n", "s", "k", std::nullopt},
        {"\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "k", "1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindProfileValue(c.text, c.section, c.key), c.value) << c.text;
}

TEST(ProfileText, WritesReplaceInPlaceOrAppendAndKeepEveryOtherByte) {
    struct Case {
        const char* before;
        ProfileWrite write;
        LineEnd newTextLineEnd;
        std::string after;
    };
    const Case cases[] = {
        // In place, keeping the file's spelling of the key and the line's own line end.
        {kRecorderFile,
         {"Blackbox", "acc_level", "5"},
         LineEnd::kLf,
         RecorderFileWith("Acc_Level=3", "Acc_Level=5")},
        // A new key after the section's last key, before its blank lines and the next comment.
        {kRecorderFile,
         {"blackbox", "tat_update", "1"},
         LineEnd::kLf,
         RecorderFileWith("0007b\r\n", "0007b\r\ntat_update=1\r\n")},
        {"[s]\r\n[t]\n", {"s", "k", "v"}, LineEnd::kLf, "[s]\r\nk=v\r\n[t]\n"},
        {"[s]\nj=1", {"s", "k", "v"}, LineEnd::kLf, "[s]\nj=1\nk=v\n"},
        // A missing section at the end, after one blank line.
        {kRecorderFile,
         {"time", "set", "0"},
         LineEnd::kLf,
         kRecorderFile + std::string("[time]\r\nset=0\r\n")},
        {"[s]\nk=1\n;c", {"t", "k", "2"}, LineEnd::kCrLf, "[s]\nk=1\n;c\n\n[t]\nk=2\n"},
        {"", {" config ", " volume ", "50"}, LineEnd::kLf, "[config]\nvolume=50\n"},
        // Only the first section of a name and the first line of a key are written.
        {"[s]\nk=1\nk=2\n[S]\nk=3\n", {"s", "k", "9"}, LineEnd::kLf, "[s]\nk=9\nk=2\n[S]\nk=3\n"},
        {"[s]\n[s]\nk=3\n", {"s", "k", "9"}, LineEnd::kLf, "[s]\nk=9\n[s]\nk=3\n"},
    };
    for (const Case& c : cases) {
        std::string text = c.before;
        ASSERT_TRUE(ApplyProfileWrite(&text, c.write, c.newTextLineEnd)) << c.before;
        EXPECT_EQ(text, c.after) << c.before;
        EXPECT_EQ(FindProfileValue(text, c.write.section, c.write.key), c.write.value);
    }
}

TEST(ProfileText, RefusesEntriesThatWouldNotReadBackAndWritesNoneOfABatch) {
    const ProfileWrite bad[] = {
        {"", "k", "v"},     {" ", "k", "v"},
        {"s", "", "v"},     {"s\n", "k", "v"},
        {"s", "k\rx", "v"}, {"s", "k", "v\nk=w"},
        {"s", "k=x", "v"},  {"s", "[k]", "v"},
        {"s", ";k", "v"},   {"s", "k", std::string("v\0w", 3)},
    };
    const std::string before = "[s]\nk=1\n";
    for (const ProfileWrite& write : bad) {
        std::string text = before;
        EXPECT_FALSE(ApplyProfileWrite(&text, write)) << write.section << "/" << write.key;
        const ProfileWrite batch[] = {{"s", "k", "2"}, write};
        EXPECT_FALSE(ApplyProfileWrites(&text, batch));
        EXPECT_EQ(text, before);
    }
}

TEST(PrivateProfile, ReadsCutToTheCallersSize) {
    testsupport::TempDir folder("ini");
    const std::string path = folder.File("config.cfg");
    WriteText(path,
              "[config]\r\nbrightness=-5\r\nmodel=ABCDEFGHIJKLMNOPQRSTUVW\r\nnum=102ab\r\n"
              "empty=\r\n");

    char buf[24];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetPrivateProfileString("CONFIG", "Model", "0", buf, 20, path), 19u);
    EXPECT_STREQ(buf, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(buf[20], '#');
    EXPECT_EQ(GetPrivateProfileString("config", "model", "0", buf, 1, path), 0u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(GetPrivateProfileString("config", "none", "-200  ", buf, 10, path), 4u);
    EXPECT_STREQ(buf, "-200");

    EXPECT_EQ(GetPrivateProfileString("config", "brightness", "", 0, path), "");
    EXPECT_EQ(GetPrivateProfileString("config", "volume", "-200", 10, folder.File("no.cfg")),
              "-200");

    EXPECT_EQ(GetPrivateProfileInt("config", "brightness", 7, path), -5);
    EXPECT_EQ(GetPrivateProfileInt("config", "num", 7, path), 102);
    EXPECT_EQ(GetPrivateProfileInt("config", "model", 7, path), 0);
    EXPECT_EQ(GetPrivateProfileInt("config", "empty", 7, path), 7);
    EXPECT_EQ(GetPrivateProfileInt("config", "volume", 50, path), 50);

    // Past 16 MiB a file is no settings file: not read, and not replaced.
    for (size_t extra : {0, 1}) {
        std::string big = "[s]\nk=1\n";
        big.resize((16u << 20) + extra, ' ');
        WriteText(path, big);
        EXPECT_EQ(GetPrivateProfileInt("s", "k", 7, path), extra ? 7 : 1) << extra;
        EXPECT_EQ(WritePrivateProfileString("s", "k", "2", path), extra == 0) << extra;
    }
}

TEST(PrivateProfile, WritesCreateTheFileAndOneBatchEqualsTheWritesOneByOne) {
    testsupport::TempDir folder("ini");
    const std::vector<ProfileWrite> save = {
        {"blackbox", "tat_update", "1"}, {"capacity", "const", "40"},  {"capacity", "event", "30"},
        {"capacity", "park", "20"},      {"capacity", "manual", "10"}, {"time", "set", "0"},
    };
    struct Case {
        const char* start;  // null: no file
        LineEnd newFileLineEnd;
        const char* after;
    };
    const Case cases[] = {
        {nullptr, LineEnd::kLf,
         "[blackbox]\ntat_update=1\n\n[capacity]\nconst=40\nevent=30\npark=20\nmanual=10\n\n"
         "[time]\nset=0\n"},
        {nullptr, LineEnd::kCrLf,
         "[blackbox]\r\ntat_update=1\r\n\r\n[capacity]\r\nconst=40\r\nevent=30\r\npark=20\r\n"
         "manual=10\r\n\r\n[time]\r\nset=0\r\n"},
        {kRecorderFile, LineEnd::kLf,
         "; KX2 settings\r\n[blackbox]\r\ndim_front = hd\r\nAcc_Level=3\r\n"
         "version=1.02.0007b\r\ntat_update=1\r\n\r\n; shares add up to 100\r\n"
         "[CAPACITY]\r\nconst=40\r\nevent=30\r\npark=20\r\nmanual=10\r\n\r\n"
         "[time]\r\nset=0\r\n"},
    };
    for (const Case& c : cases) {
        const std::string batchPath = folder.File("batch.cfg");
        const std::string singlePath = folder.File("single.cfg");
        fs::remove(batchPath);
        fs::remove(singlePath);
        if (c.start) {
            WriteText(batchPath, c.start);
            WriteText(singlePath, c.start);
        }
        ASSERT_TRUE(WritePrivateProfileStrings(save, batchPath, c.newFileLineEnd));
        for (const ProfileWrite& w : save)
            ASSERT_TRUE(
                WritePrivateProfileString(w.section, w.key, w.value, singlePath, c.newFileLineEnd));
        EXPECT_EQ(ReadText(batchPath), c.after);
        EXPECT_EQ(ReadText(singlePath), c.after);
    }
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", folder.File("missing/config.cfg")));
    EXPECT_FALSE(WritePrivateProfileString("s", "k=", "v", folder.File("batch.cfg")));
    EXPECT_EQ(FileCount(folder.path()), 2u);
}

TEST(PrivateProfile, AFailedReplacementLeavesTheOldFileWhole) {
    testsupport::TempDir folder("ini");
    const std::string path = folder.File("blackbox.cfg");
    WriteText(path, kRecorderFile);
    ::chmod(path.c_str(), 0640);

    static std::string s_tempPath, s_tempText;
    SetReplaceFaultHookForTest([](const std::string& tempPath) {
        s_tempPath = tempPath;
        s_tempText = ReadText(tempPath);
        return false;
    });
    const ProfileWrite save[] = {{"blackbox", "tat_update", "1"}, {"capacity", "const", "10"}};
    EXPECT_FALSE(WritePrivateProfileStrings(save, path));
    EXPECT_NE(s_tempText.find("tat_update=1\r\n"), std::string::npos);
    // Beside the file: a rename replaces it in one step only within one file system.
    EXPECT_EQ(fs::path(s_tempPath).parent_path(), fs::path(path).parent_path());
    EXPECT_FALSE(WritePrivateProfileString("new", "k", "v", folder.File("new.cfg")));
    SetReplaceFaultHookForTest(nullptr);
    EXPECT_EQ(ReadText(path), kRecorderFile);
    EXPECT_EQ(FileCount(folder.path()), 1u) << "only the file itself";

    // A file that cannot be read is never replaced; a link is followed, permissions are kept.
    fs::create_directory(folder.File("dir.cfg"));
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", folder.File("dir.cfg")));
    fs::create_symlink(path, folder.File("link.cfg"));
    ASSERT_TRUE(WritePrivateProfileStrings(save, folder.File("link.cfg")));
    EXPECT_TRUE(fs::is_symlink(folder.File("link.cfg")));
    EXPECT_EQ(GetPrivateProfileString("capacity", "const", "", 10, path), "10");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(RemovableVolumes, KeepsMediaRunMediaAndMntInAFixedOrder) {
    const std::string mounts =
        "sysfs /sys sysfs rw,nosuid 0 0\n"
        "/dev/sdc1 /mnt/sd vfat rw 0 0\n"
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sdb1 /run/media/kim/KX2 vfat rw 0 0\n"
        "/dev/sdd1 /media/kim/NO\\040NAME exfat rw 0 0\n"
        "/dev/sde1 /media/kim/CARD vfat rw 0 0\n"
        "/dev/sde1 /media/kim/CARD vfat rw 0 0\n"
        "tmpfs /media tmpfs rw 0 0\n"
        "/dev/sdf1 /mediafake/x vfat rw 0 0\n"
        "/dev/sdg1 /home/kim/media/x vfat rw 0 0\n"
        "/dev/sdh1 /mnt/\\134odd vfat rw 0 0\n"
        "/dev/sdi1 /mnt/\\000 vfat rw 0 0\n"
        "broken-line-without-mount-point\n"
        "\n";
    EXPECT_EQ(
        RemovableMountPoints(mounts),
        (std::vector<std::string>{"/media/kim/CARD", "/media/kim/NO NAME", "/run/media/kim/KX2",
                                  "/mnt/\\000", "/mnt/\\odd", "/mnt/sd"}));
    EXPECT_TRUE(RemovableMountPoints("").empty());

    // From a file of 4097 bytes, whose last read brings a single byte; a second read of the
    // same text reports no change.
    testsupport::TempDir folder("volumes");
    const std::string last = "/dev/sdz1 /media/kim/Z";
    WriteText(folder.File("mounts"), "#" + std::string(4095 - last.size(), '-') + "\n" + last);
    CRemovableVolumes volumes(folder.File("mounts"));
    EXPECT_TRUE(volumes.Refresh());
    EXPECT_EQ(volumes.MountPoints(), std::vector<std::string>{"/media/kim/Z"});
    EXPECT_FALSE(volumes.Refresh());
}
