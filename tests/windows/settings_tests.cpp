// The settings file on Windows is the profile functions' own: what
// writeSetting stores, GetPrivateProfileStringA reads as written, and what
// WritePrivateProfileStringA stores, readSetting reads; text in the 8-bit
// code page (here Windows-1252), values read cut to 254 characters; a file
// in UTF-16 or with a UTF-8 mark read and written in its own encoding.

#include "settings/locations.h"
#include "settings/settings_store.h"

#include "windows_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace fw::test {
namespace {

std::string profileValue(const std::string& file, const char* key)
{
    std::string buffer(4096, '\0');
    const DWORD n = GetPrivateProfileStringA(kSettingsSection, key, "<missing>", buffer.data(),
                                             static_cast<DWORD>(buffer.size()), file.c_str());
    buffer.resize(n);
    return buffer;
}

TEST(WindowsSettings, TheProfileFunctionsReadWhatIsWrittenAndBack)
{
    const std::string x300(300, 'x');
    std::string e300, e300File, e254;
    for (int i = 0; i < 300; ++i) {
        e300 += "\xC3\xA9"; // é in UTF-8
        e300File += '\xE9'; // é in Windows-1252
        if (i < 254)
            e254 += "\xC3\xA9";
    }
    struct Case {
        const char* name;
        std::string value;  // as the program holds it (UTF-8)
        std::string inFile; // as the profile functions see it
        std::string readBack;
        bool codePage; // needs Windows-1252
    } cases[] = {
        {"address", "192.168.0.10", "192.168.0.10", "192.168.0.10", false},
        {"accents and umlauts", "Caf\xC3\xA9 \xC3\x84", "Caf\xE9 \xC4", "Caf\xC3\xA9 \xC3\x84",
         true},
        {"300 characters", x300, x300, x300.substr(0, 254), false},
        {"300 characters outside ASCII", e300, e300File, e254, true},
        {"a line break ends the value", "10.0.0.1\r\nInterface=2", "10.0.0.1", "10.0.0.1", false},
    };
    TestFolder folder("settings");
    const std::string file = settingsFilePath(folder.path());
    EXPECT_EQ(file, folder / "Firmware.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.codePage && GetACP() != 1252) {
            ADD_FAILURE() << "the system's code page is " << GetACP() << ", this case needs 1252";
            continue;
        }
        EXPECT_TRUE(writeSetting(file, kKeyTcpIp, c.value).ok());
        EXPECT_EQ(profileValue(file, kKeyTcpIp), c.inFile);
        EXPECT_EQ(profileValue(file, kKeyInterface), "<missing>");

        ASSERT_TRUE(WritePrivateProfileStringA(kSettingsSection, kKeyTcpIp, c.inFile.c_str(),
                                               file.c_str()));
        EXPECT_EQ(readSetting(file, kKeyTcpIp), c.readBack);
    }
    EXPECT_EQ(readSetting(file, kKeyBaudRate), "");
    EXPECT_EQ(readSetting(folder / "none.ini", kKeyTcpIp), "");
}

// A settings file in UTF-16 (either byte order) or with a UTF-8 mark, as
// other Windows programs may leave it, is read, and a key written to it goes
// in the file's own encoding, its mark kept.
TEST(WindowsSettings, AUnicodeFileIsReadAndStaysInItsEncoding)
{
    ASSERT_EQ(GetACP(), 1252u) << "the value needs the code page Windows-1252";
    enum Form { Utf8, Le, Be };
    const auto encoded = [](const std::string& utf8Text, Form form) {
        if (form == Utf8)
            return utf8Text;
        std::string out;
        for (wchar_t u : wide(utf8Text)) {
            const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
            out.append(form == Le ? std::string{low, high} : std::string{high, low});
        }
        return out;
    };
    const std::string lines = "[PRINTFirmware]\r\nTcpIp=Caf\xC3\xA9\r\n";
    const struct {
        const char* name;
        std::string mark;
        Form form;
    } cases[] = {{"UTF-16LE", "\xFF\xFE", Le},
                 {"UTF-16BE", "\xFE\xFF", Be},
                 {"UTF-8", "\xEF\xBB\xBF", Utf8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder folder("unicode");
        const std::string file = settingsFilePath(folder.path());
        writeFile(file, c.mark + encoded(lines, c.form));
        EXPECT_EQ(readSetting(file, kKeyTcpIp), "Caf\xC3\xA9");

        EXPECT_TRUE(writeSetting(file, kKeyInterface, "1").ok());
        const std::string after = readFile(file);
        EXPECT_TRUE(after.starts_with(c.mark));
        EXPECT_NE(after.find(encoded("TcpIp=Caf\xC3\xA9", c.form)), std::string::npos);
        EXPECT_NE(after.find(encoded("Interface=1", c.form)), std::string::npos);
        if (c.form != Utf8) {
            EXPECT_EQ(after.find("Interface=1"), std::string::npos) << "no 8-bit line";
        }
        EXPECT_EQ(readSetting(file, kKeyInterface), "1");
        EXPECT_EQ(readSetting(file, kKeyTcpIp), "Caf\xC3\xA9");
    }
}

// A program folder whose name holds more than ASCII keeps it in the folder
// where the Open dialog starts.
TEST(WindowsSettings, ThePackagesFolderIsInTheProgramsFolder)
{
    const std::string folder = "C:\\Caf\xC3\xA9-\xCE\xA9"; // Café-Ω
    EXPECT_EQ(portableLocations(folder).packagesFolder, folder + "\\K20T");
}

// A settings file named without its folder (firmware-cli --settings
// Firmware.ini) is the one in the current folder, not the Windows folder's.
TEST(WindowsSettings, ANameWithoutAFolderIsInTheCurrentFolder)
{
    TestFolder folder("relative");
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(wide(folder.path()).c_str()));
    EXPECT_TRUE(writeSetting("Firmware.ini", kKeyInterface, "2").ok());
    const std::string read = readSetting("Firmware.ini", kKeyInterface);
    SetCurrentDirectoryW(before);
    EXPECT_EQ(read, "2");
    EXPECT_EQ(profileValue(folder / "Firmware.ini", kKeyInterface), "2");
}

// A program folder whose name has no form in the code page still gets its
// own Firmware.ini.
TEST(WindowsSettings, AFolderOutsideTheCodePageKeepsItsFile)
{
    TestFolder folder("\xE8\xA8\xAD\xE5\xAE\x9A-\xCE\xA9"); // 設定-Ω
    const std::string file = settingsFilePath(folder.path());
    EXPECT_TRUE(writeSetting(file, kKeyBaudRate, "2").ok());
    EXPECT_TRUE(writeSetting(file, kKeyTcpIp, "Caf\xC3\xA9").ok());
    EXPECT_EQ(readSetting(file, kKeyBaudRate), "2");
    EXPECT_EQ(readSetting(file, kKeyTcpIp), "Caf\xC3\xA9");
    wchar_t value[64] = {};
    GetPrivateProfileStringW(L"PRINTFirmware", L"BaudRate", L"", value, 64, wide(file).c_str());
    EXPECT_EQ(std::wstring(value), L"2");
}

} // namespace
} // namespace fw::test
