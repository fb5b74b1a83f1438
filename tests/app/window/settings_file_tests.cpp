#include "window/ini_text.h"
#include "window/nvimg_mod.h"
#include "window/settings_file_io.h"

#include "settings_temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fw {
namespace {

namespace fs = std::filesystem;

const std::string kOld = "; hand-made\r\n[PRINTFirmware]\r\nInterface=1\r\nTcpIp=10.1.1.1\r\n[Other]\r\na=b\r\n";

// Every way the file can be out of reach; the old contents must stay and
// nothing may be reported or thrown.
TEST(SettingsFile, UnwritablePlacesAreSilentlyLeftAlone)
{
    test::TempDir dir;

    // A folder that cannot hold files: its name is taken by a regular file
    // (this holds for root too).
    const std::string notAFolder = dir.file("plain");
    test::writeBytes(notAFolder, "x");
    WriteIniValue(settingsFilePath(notAFolder), "Interface", "1");
    EXPECT_EQ(test::readBytes(notAFolder), "x");
    EXPECT_EQ(ReadIniValue(settingsFilePath(notAFolder), "Interface"), "");

    // A file marked read-only.
    const std::string readOnly = dir.file("ro.ini");
    test::writeBytes(readOnly, kOld);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    WriteIniValue(readOnly, "Interface", "3");
    EXPECT_EQ(test::readBytes(readOnly), kOld);
    EXPECT_EQ(ReadIniValue(readOnly, "TcpIp"), "10.1.1.1");

    // A folder where the file should be.
    const std::string folder = dir.file("Firmware.ini");
    fs::create_directory(folder);
    WriteIniValue(folder, "Interface", "3");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));

    // A pipe: neither reading nor writing may wait for a writer.
    const std::string pipe = dir.file("pipe.ini");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    EXPECT_EQ(ReadIniValue(pipe, "Interface"), "");
    WriteIniValue(pipe, "Interface", "3");
    EXPECT_TRUE(fs::is_fifo(pipe));

    EXPECT_EQ(test::listing(dir.path()), (std::vector<std::string>{"Firmware.ini", "pipe.ini", "plain", "ro.ini"}));
}

TEST(SettingsFile, KeepsModeAndFollowsALink)
{
    test::TempDir dir;
    const std::string real = dir.file("real.ini");
    test::writeBytes(real, kOld);
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string link = settingsFilePath(dir.path());
    fs::create_symlink("real.ini", link);

    WriteIniValue(link, "Interface", "2");

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::readBytes(real), "; hand-made\r\n[PRINTFirmware]\r\nInterface=2\r\nTcpIp=10.1.1.1\r\n[Other]\r\na=b\r\n");
    EXPECT_EQ(fs::status(real).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(SettingsFile, NewFileFollowsTheUmask)
{
    test::TempDir dir;
    const mode_t old = ::umask(022);
    WriteIniValue(settingsFilePath(dir.path()), "Interface", "1");
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(settingsFilePath(dir.path()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(SettingsFile, OversizedFileIsReadButNeverCut)
{
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    const std::string big = "[PRINTFirmware]\nBaudRate=3\n;" + std::string(kSettingsFileLimit, 'z') + "\n";
    test::writeBytes(path, big);
    EXPECT_EQ(ReadIniValue(path, "BaudRate"), "3");
    WriteIniValue(path, "BaudRate", "4");
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

    EXPECT_EXIT(replaceSettingsFile(path, updated, [] { std::_Exit(3); }), ::testing::ExitedWithCode(3), "");

    EXPECT_EQ(test::readBytes(path), kOld);
    EXPECT_EQ(ReadIniValue(path, "Interface"), "1");
    // The orphaned temporary file holds the whole new text; it disturbs
    // nothing later.
    const auto names = test::listing(dir.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(test::readBytes(dir.file(names[1])), updated);
    WriteIniValue(path, "Interface", "3");
    EXPECT_EQ(ReadIniValue(path, "Interface"), "3");
    EXPECT_EQ(ReadIniValue(path, "TcpIp"), "10.1.1.1");
}

// In a child process: no file may grow past 16 bytes. Exits 0 when every
// write failed.
void writeOnFullDisk(const std::string& path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const bool replaced = replaceSettingsFile(path, kOld + std::string(100, 'x'));
    WriteIniValue(path, "TcpIp", std::string(200, '9'));
    std::_Exit(replaced ? 1 : 0);
}

// A full disk (the file-size limit stands in for it): the write fails part
// way, the old file stays whole and the temporary file is gone.
TEST(SettingsFileDeathTest, FullDiskLeavesTheOldFile)
{
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    test::writeBytes(path, kOld);

    EXPECT_EXIT(writeOnFullDisk(path), ::testing::ExitedWithCode(0), "");

    EXPECT_EQ(test::readBytes(path), kOld);
    EXPECT_EQ(test::listing(dir.path()), std::vector<std::string>{"Firmware.ini"});
}

} // namespace
} // namespace fw
