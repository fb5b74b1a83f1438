#include "settings/ini_text.h"
#include "settings/settings_store.h"
#include "settings/settings_file.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fw {
namespace {

namespace fs = std::filesystem;

const std::string kOld =
    "; hand-made\r\n[PRINTFirmware]\r\nInterface=1\r\nTcpIp=10.1.1.1\r\n[Other]\r\na=b\r\n";

// Every way the file can be out of reach; the old contents must stay, the
// write says it failed and nothing is thrown.
TEST(SettingsFile, UnwritablePlacesAreLeftAlone)
{
    test::TempDir dir;

    // A folder that cannot hold files: its name is taken by a regular file
    // (this holds for root too).
    const std::string notAFolder = dir.file("plain");
    test::writeBytes(notAFolder, "x");
    EXPECT_TRUE(writeSetting(settingsFilePath(notAFolder), "Interface", "1").failed());
    EXPECT_EQ(test::readBytes(notAFolder), "x");
    EXPECT_EQ(readSetting(settingsFilePath(notAFolder), "Interface"), "");

    // A file marked read-only.
    const std::string readOnly = dir.file("ro.ini");
    test::writeBytes(readOnly, kOld);
    fs::permissions(readOnly,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(writeSetting(readOnly, "Interface", "3").failed());
    EXPECT_EQ(test::readBytes(readOnly), kOld);
    EXPECT_EQ(readSetting(readOnly, "TcpIp"), "10.1.1.1");

    // A folder where the file should be.
    const std::string folder = dir.file("Firmware.ini");
    fs::create_directory(folder);
    EXPECT_TRUE(writeSetting(folder, "Interface", "3").failed());
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));

    // A pipe: neither reading nor writing may wait for a writer.
    const std::string pipe = dir.file("pipe.ini");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    EXPECT_EQ(readSetting(pipe, "Interface"), "");
    EXPECT_TRUE(writeSetting(pipe, "Interface", "3").failed());
    EXPECT_TRUE(fs::is_fifo(pipe));

    EXPECT_EQ(test::listing(dir.path()),
              (std::vector<std::string>{"Firmware.ini", "pipe.ini", "plain", "ro.ini"}));
}

TEST(SettingsFile, KeepsModeAndFollowsALink)
{
    test::TempDir dir;
    const std::string real = dir.file("real.ini");
    test::writeBytes(real, kOld);
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string link = settingsFilePath(dir.path());
    fs::create_symlink("real.ini", link);

    EXPECT_TRUE(writeSetting(link, "Interface", "2").ok());

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(
        test::readBytes(real),
        "; hand-made\r\n[PRINTFirmware]\r\nInterface=2\r\nTcpIp=10.1.1.1\r\n[Other]\r\na=b\r\n");
    EXPECT_EQ(fs::status(real).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(SettingsFile, NewFileFollowsTheUmask)
{
    test::TempDir dir;
    const mode_t old = ::umask(022);
    EXPECT_TRUE(writeSetting(settingsFilePath(dir.path()), "Interface", "1").ok());
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(settingsFilePath(dir.path()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;
constexpr uid_t kOtherUser = 1234; // no account needed for owning files
constexpr gid_t kSharedGroup = 4321;

// Runs `body` in a child process, as root or as nobody with the shared group
// among its groups, and gives its exit code: 77 when the switch to nobody was
// not possible or nobody cannot reach `path`.
int inChild(bool asNobody, const std::string& path, const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (asNobody) {
            const gid_t groups[] = {kSharedGroup};
            if (::setgroups(1, groups) != 0 || ::setresgid(kNoGroup, kNoGroup, kNoGroup) != 0 ||
                ::setresuid(kNobody, kNobody, kNobody) != 0 || ::access(path.c_str(), R_OK) != 0)
                ::_exit(77);
        }
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// An access list granting kOtherUser read and write, in the kernel's form.
bool addAccessList(const std::string& path)
{
    struct Entry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    struct {
        std::uint32_t version = 2;
        Entry entries[5] = {
            {0x01, 6, ~0u}, {0x02, 6, kOtherUser}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 4, ~0u}};
    } acl;
    return ::setxattr(path.c_str(), "system.posix_acl_access", &acl, sizeof acl, 0) == 0;
}

struct PlaceCase {
    const char* what;
    mode_t folderMode; // the folder belongs to root and the shared group
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool asNobody; // nobody saves, else root
    bool secondName;
    bool accessList;
    bool replaced; // a new file renamed over the old one, else the old one rewritten
};

std::ostream& operator<<(std::ostream& os, const PlaceCase& c)
{
    return os << c.what;
}

class SettingsFilePlaceTest : public ::testing::TestWithParam<PlaceCase> {};

// Whoever saves, the file is updated and keeps its owner, group, mode and
// names; it is replaced whole wherever that keeps them.
TEST_P(SettingsFilePlaceTest, SavesAndKeepsTheFilesOwner)
{
    const PlaceCase& c = GetParam();
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand files to other users";
    test::TempDir dir;
    ASSERT_EQ(::chown(dir.path().c_str(), 0, kSharedGroup), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), c.folderMode), 0);
    const std::string path = settingsFilePath(dir.path());
    test::writeBytes(path, kOld);
    ASSERT_EQ(::chown(path.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    if (c.secondName) {
        ASSERT_EQ(::link(path.c_str(), dir.file("second.ini").c_str()), 0);
    }
    if (c.accessList && !addAccessList(path))
        GTEST_SKIP() << "no access lists on this file system";
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    const int code = inChild(c.asNobody, path,
                             [&path] { return writeSetting(path, "Interface", "2").ok() ? 0 : 1; });
    if (code == 77)
        GTEST_SKIP() << "cannot switch to nobody or nobody cannot reach " << dir.path();
    ASSERT_EQ(code, 0);

    const std::string updated = iniReplace(kOld, kSettingsSection, "Interface", "2", "\n");
    EXPECT_EQ(test::readBytes(path), updated);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, c.owner);
    EXPECT_EQ(after.st_gid, c.group);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(after.st_ino != before.st_ino, c.replaced);
    if (c.secondName) {
        EXPECT_EQ(test::readBytes(dir.file("second.ini")), updated);
    }
    if (c.accessList) {
        EXPECT_GT(::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0), 0);
    }
    EXPECT_EQ(test::listing(dir.path()).size(), c.secondName ? 2u : 1u) << "no temporary file left";
}

INSTANTIATE_TEST_SUITE_P(
    Owners, SettingsFilePlaceTest,
    ::testing::Values(
        PlaceCase{"writable file in a read-only folder", 0555, kNobody, kNoGroup, 0644, true, false,
                  false, false},
        PlaceCase{"group's file saved by a member", 0775, kOtherUser, kSharedGroup, 0664, true,
                  false, false, false},
        PlaceCase{"own file in the group's folder", 0775, kNobody, kSharedGroup, 0640, true, false,
                  false, true},
        PlaceCase{"root keeps another user's file", 0755, kOtherUser, kSharedGroup, 0664, false,
                  false, false, true},
        PlaceCase{"file with a second name", 0755, 0, 0, 0644, false, true, false, false},
        PlaceCase{"file with an access list", 0755, 0, 0, 0644, false, false, true, false}));

// Temporary files of saves that died are removed at the next save; one a
// running save still holds, and files that only look alike, stay.
TEST(SettingsFile, LeftOverTemporaryFilesAreRemoved)
{
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    test::writeBytes(path, kOld);
    const std::string stale = path + kSettingsTempInfix + "Ab12cD";
    const std::string held = path + kSettingsTempInfix + "Zz9yY8";
    for (const std::string& name :
         {stale, held, path + kSettingsTempInfix + "Ab12cDe", path + ".bak"})
        test::writeBytes(name, "x");
    const int fd = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);

    EXPECT_TRUE(writeSetting(path, "Interface", "2").ok());
    ::close(fd);

    EXPECT_EQ(readSetting(path, "Interface"), "2");
    EXPECT_EQ(test::listing(dir.path()),
              (std::vector<std::string>{"Firmware.ini", "Firmware.ini.bak",
                                        "Firmware.ini.tmp-Ab12cDe", "Firmware.ini.tmp-Zz9yY8"}));
}

TEST(SettingsFile, OversizedFileIsReadButNeverCut)
{
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    const std::string big =
        "[PRINTFirmware]\nBaudRate=3\n;" + std::string(kSettingsFileLimit, 'z') + "\n";
    test::writeBytes(path, big);
    EXPECT_EQ(readSetting(path, "BaudRate"), "3");
    EXPECT_TRUE(writeSetting(path, "BaudRate", "4").failed());
    EXPECT_EQ(test::readBytes(path), big);
}

using SettingsFileDeathTest = ::testing::Test;

// The process dies with the new contents written under the temporary name,
// just before the rename: the settings file is the old one, whole.
TEST(SettingsFileDeathTest, CrashBeforeRenameLeavesTheOldFile)
{
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    test::writeBytes(path, kOld);
    const std::string updated = iniReplace(kOld, kSettingsSection, "Interface", "2", "\n");

    EXPECT_EXIT((void)replaceSettingsFile(path, updated, [] { std::_Exit(3); }),
                ::testing::ExitedWithCode(3), "");

    EXPECT_EQ(test::readBytes(path), kOld);
    EXPECT_EQ(readSetting(path, "Interface"), "1");
    // The orphaned temporary file holds the whole new text; the next save
    // removes it.
    const auto names = test::listing(dir.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(test::readBytes(dir.file(names[1])), updated);
    EXPECT_TRUE(writeSetting(path, "Interface", "3").ok());
    EXPECT_EQ(readSetting(path, "Interface"), "3");
    EXPECT_EQ(readSetting(path, "TcpIp"), "10.1.1.1");
    EXPECT_EQ(test::listing(dir.path()), std::vector<std::string>{"Firmware.ini"});
}

// No file may grow past 16 bytes. 0 when every write failed.
int writeOnFullDisk(const std::string& path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const bool replaced = replaceSettingsFile(path, std::string(200, 'x')).ok();
    (void)writeSetting(path, "TcpIp", std::string(200, '9'));
    return replaced ? 1 : 0;
}

// A full disk (the file-size limit stands in for it): the write fails part
// way, the old file stays whole and no temporary file is left, whether the
// file is replaced or, in a folder only root can write, rewritten in place.
TEST(SettingsFileDeathTest, FullDiskLeavesTheOldFile)
{
    for (const bool readOnlyFolder : {false, true}) {
        SCOPED_TRACE(readOnlyFolder ? "read-only folder" : "writable folder");
        if (readOnlyFolder && ::geteuid() != 0)
            GTEST_SKIP() << "needs root to hand the file to nobody";
        test::TempDir dir;
        const std::string path = settingsFilePath(dir.path());
        test::writeBytes(path, kOld);
        if (readOnlyFolder) {
            ASSERT_EQ(::chown(path.c_str(), kNobody, kNoGroup), 0);
            ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        }

        const int code = inChild(readOnlyFolder, path, [&path] { return writeOnFullDisk(path); });
        if (code == 77)
            GTEST_SKIP() << "cannot switch to nobody or nobody cannot reach " << dir.path();
        EXPECT_EQ(code, 0);

        EXPECT_EQ(test::readBytes(path), kOld);
        EXPECT_EQ(test::listing(dir.path()), std::vector<std::string>{"Firmware.ini"});
    }
}

} // namespace
} // namespace fw
