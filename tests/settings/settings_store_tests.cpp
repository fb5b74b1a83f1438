#include "settings/ini_text.h"
#include "settings/settings_store.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace fw {
namespace {

using namespace std::string_literals;

struct ReadCase {
    const char* what;
    std::string file;
    const char* key;
    std::string expected;
};

class ReadSettingTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadSettingTest, ReadsAsTheProfileFunctionsDo)
{
    const ReadCase& c = GetParam();
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    test::writeBytes(path, c.file);
    EXPECT_EQ(readSetting(path, c.key), c.expected) << c.what;
}

const std::string k300(300, '7');

// ASCII text as UTF-16 units, little-endian (le) or big-endian (be).
std::string le(std::string_view ascii)
{
    std::string out;
    for (char c : ascii)
        out.append({c, '\0'});
    return out;
}

std::string be(std::string_view ascii)
{
    std::string out;
    for (char c : ascii)
        out.append({'\0', c});
    return out;
}

std::string repeated(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    HandWrittenFiles, ReadSettingTest,
    ::testing::Values(
        ReadCase{"CRLF", "[PRINTFirmware]\r\nInterface=2\r\nBaudRate=3\r\n", "Interface", "2"},
        ReadCase{"CRLF last key", "[PRINTFirmware]\r\nInterface=2\r\nBaudRate=3\r\n", "BaudRate",
                 "3"},
        ReadCase{"blanks around =", "[PRINTFirmware]\n  BaudRate \t=  4  \n", "BaudRate", "4"},
        // Every blank the profile functions trim, vertical tab and form feed too.
        ReadCase{"vertical tab and form feed", "[PRINTFirmware]\n\vBaudRate\f=\v4\f\n", "BaudRate",
                 "4"},
        ReadCase{"blanks inside kept", "[PRINTFirmware]\nTcpIp = 10.0. 0.1 \n", "TcpIp",
                 "10.0. 0.1"},
        ReadCase{"key in other case", "[PRINTFirmware]\nbaudRATE=5\n", "BaudRate", "5"},
        ReadCase{"section in other case", "[ printfirmware ]\nParity=2\n", "Parity", "2"},
        ReadCase{"other section only", "[Other]\nBaudRate=1\n[PRINTFirmware]\nParity=2\n",
                 "BaudRate", ""},
        ReadCase{"before any section", "BaudRate=1\n[PRINTFirmware]\n", "BaudRate", ""},
        ReadCase{"missing key", "[PRINTFirmware]\nParity=2\n", "StopBit", ""},
        ReadCase{"missing section", "[Other]\nStopBit=0\n", "StopBit", ""},
        ReadCase{"empty file", "", "Interface", ""},
        ReadCase{"300 characters", "[PRINTFirmware]\r\nTcpIp=" + k300 + "\r\n", "TcpIp",
                 std::string(254, '7')},
        ReadCase{"254 characters", "[PRINTFirmware]\nTcpIp=" + std::string(254, 'a') + "\n",
                 "TcpIp", std::string(254, 'a')},
        ReadCase{"8-bit text", "[PRINTFirmware]\nTcpIp=\xE9\xFC\xA0x\xFF\n", "TcpIp",
                 "\xE9\xFC\xA0x\xFF"},
        ReadCase{"quoted value", "[PRINTFirmware]\nTcpIp=\"10.0.0.1\"\n", "TcpIp", "10.0.0.1"},
        ReadCase{"single quotes", "[PRINTFirmware]\nTcpIp='a b'\n", "TcpIp", "a b"},
        ReadCase{"unmatched quote", "[PRINTFirmware]\nTcpIp=\"abc\n", "TcpIp", "\"abc"},
        ReadCase{"comment is no key", "[PRINTFirmware]\n;BaudRate=3\n", "BaudRate", ""},
        ReadCase{"first of two keys", "[PRINTFirmware]\nBaudRate=1\nBaudRate=2\n", "BaudRate", "1"},
        ReadCase{"first of two sections", "[PRINTFirmware]\nx=1\n[PRINTFirmware]\nBaudRate=2\n",
                 "BaudRate", ""},
        ReadCase{"= in the value", "[PRINTFirmware]\nTcpIp=a=b\n", "TcpIp", "a=b"},
        ReadCase{"no =", "[PRINTFirmware]\nTcpIp\n", "TcpIp", ""},
        ReadCase{"no final line end", "[PRINTFirmware]\nHandShake=0", "HandShake", "0"},
        ReadCase{"UTF-8 mark", "\xEF\xBB\xBF[PRINTFirmware]\r\nStopBit=0\r\n", "StopBit", "0"},
        ReadCase{"header with remark", "[PRINTFirmware] ; set by OK\nParity=1\n", "Parity", "1"},
        ReadCase{"header not closed", "[PRINTFirmware\nParity=1\n", "Parity", ""},
        ReadCase{"binary around", "\x01\xFF\0garbage\n[PRINTFirmware]\nBaudRate=2\n\xFE\0\0\x80"s,
                 "BaudRate", "2"},
        ReadCase{"NUL ends the value", "[PRINTFirmware]\nBaudRate=1\0 2\n"s, "BaudRate", "1"},
        ReadCase{"old Mac line ends", "[PRINTFirmware]\rBaudRate=1\r", "BaudRate", ""},
        ReadCase{"UTF-16LE",
                 "\xFF\xFE" + le("[PRINTFirmware]\r\nTcpIp=Caf") + "\xE9\0"s + le("\r\n"), "TcpIp",
                 "Caf\xC3\xA9"},
        ReadCase{"UTF-16BE", "\xFE\xFF" + be("[PRINTFirmware]\r\nTcpIp=Caf") + "\0\xE9"s + be("\n"),
                 "TcpIp", "Caf\xC3\xA9"},
        ReadCase{"UTF-16 pair", "\xFF\xFE" + le("[PRINTFirmware]\nTcpIp=") + "\x3D\xD8\xA8\xDD",
                 "TcpIp", "\xF0\x9F\x96\xA8"},
        ReadCase{"UTF-16 300 characters",
                 "\xFF\xFE" + le("[PRINTFirmware]\nTcpIp=") + repeated("\xE9"s + '\0', 300),
                 "TcpIp", repeated("\xC3\xA9", 254)}));

TEST(ReadSetting, MissingFileOrFolderReadsEmpty)
{
    test::TempDir dir;
    EXPECT_EQ(readSetting(dir.file("Firmware.ini"), "Interface"), "");
    EXPECT_EQ(readSetting(dir.file("none/Firmware.ini"), "Interface"), "");
    EXPECT_EQ(readSetting(dir.path(), "Interface"), ""); // a folder in its place
}

struct WriteCase {
    const char* what;
    std::optional<std::string> before; // nullopt: no file
    const char* key;
    std::string value;
    std::string after;
};

class WriteSettingTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteSettingTest, ChangesOnlyThatKey)
{
    const WriteCase& c = GetParam();
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    if (c.before)
        test::writeBytes(path, *c.before);
    EXPECT_TRUE(writeSetting(path, c.key, c.value).ok());
    EXPECT_EQ(test::readBytes(path), c.after) << c.what;
    EXPECT_EQ(test::listing(dir.path()), std::vector<std::string>{"Firmware.ini"})
        << "no temporary file left";
}

const std::string kCrlfFile = "; written by hand\r\n"
                              "[Other]\r\n"
                              "BaudRate=9\r\n"
                              "\r\n"
                              "[PRINTFirmware]\r\n"
                              "Interface=1\r\n"
                              "; keep me\r\n"
                              "  BaudRate = 2 \r\n"
                              "\r\n"
                              "[Tail]\r\n"
                              "x = y\r\n";

std::string withLine(std::string text, const std::string& from, const std::string& to)
{
    text.replace(text.find(from), from.size(), to);
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    HandWrittenFiles, WriteSettingTest,
    ::testing::Values(
        WriteCase{"new file", std::nullopt, "Interface", "1", "[PRINTFirmware]\nInterface=1\n"},
        WriteCase{"empty file", "", "Interface", "1", "[PRINTFirmware]\nInterface=1\n"},
        WriteCase{"replace in CRLF", kCrlfFile, "BaudRate", "5",
                  withLine(kCrlfFile, "  BaudRate = 2 ", "BaudRate=5")},
        WriteCase{"add to CRLF after the last key", kCrlfFile, "Parity", "1",
                  withLine(kCrlfFile, "  BaudRate = 2 \r\n", "  BaudRate = 2 \r\nParity=1\r\n")},
        WriteCase{"key in other case keeps its spelling", "[printfirmware]\nBAUDRATE=2\n",
                  "BaudRate", "3", "[printfirmware]\nBAUDRATE=3\n"},
        WriteCase{"new section after the last line", "[Other]\nk=v", "Interface", "2",
                  "[Other]\nk=v\n\n[PRINTFirmware]\nInterface=2\n"},
        WriteCase{"new section in CRLF", "[Other]\r\nk=v\r\n", "Interface", "2",
                  "[Other]\r\nk=v\r\n\r\n[PRINTFirmware]\r\nInterface=2\r\n"},
        WriteCase{"new section after a blank line", "[Other]\nk=v\n\n", "Interface", "2",
                  "[Other]\nk=v\n\n[PRINTFirmware]\nInterface=2\n"},
        WriteCase{"header without line end", "[PRINTFirmware]", "TcpIp", "1.2.3.4",
                  "[PRINTFirmware]\nTcpIp=1.2.3.4\n"},
        WriteCase{"remarks stay after the header", "[PRINTFirmware]\n;c\n", "Interface", "1",
                  "[PRINTFirmware]\nInterface=1\n;c\n"},
        WriteCase{"last key without line end", "[PRINTFirmware]\r\nInterface=1", "BaudRate", "0",
                  "[PRINTFirmware]\r\nInterface=1\r\nBaudRate=0\r\n"},
        WriteCase{"first of two sections", "[PRINTFirmware]\na=1\n[PRINTFirmware]\nBaudRate=4\n",
                  "BaudRate", "5",
                  "[PRINTFirmware]\na=1\nBaudRate=5\n[PRINTFirmware]\nBaudRate=4\n"},
        WriteCase{"UTF-8 mark kept", "\xEF\xBB\xBF[PRINTFirmware]\r\nTcpIp=x\r\n", "TcpIp", "y",
                  "\xEF\xBB\xBF[PRINTFirmware]\r\nTcpIp=y\r\n"},
        WriteCase{"8-bit value", std::nullopt, "TcpIp", "\xE9\xFC\x80",
                  "[PRINTFirmware]\nTcpIp=\xE9\xFC\x80\n"},
        WriteCase{"value stays one line", "[PRINTFirmware]\nInterface=1\n", "TcpIp",
                  "a\r\nInterface=9", "[PRINTFirmware]\nInterface=1\nTcpIp=a\n"},
        WriteCase{"empty value", "[PRINTFirmware]\nTcpIp=x\n", "TcpIp", "",
                  "[PRINTFirmware]\nTcpIp=\n"},
        WriteCase{"UTF-8 mark alone", "\xEF\xBB\xBF", "Interface", "1",
                  "\xEF\xBB\xBF[PRINTFirmware]\nInterface=1\n"},
        WriteCase{"UTF-16LE stays UTF-16LE", "\xFF\xFE" + le("[PRINTFirmware]\r\nTcpIp=x\r\n"),
                  "Interface", "1",
                  "\xFF\xFE" + le("[PRINTFirmware]\r\nTcpIp=x\r\nInterface=1\r\n")},
        WriteCase{"UTF-16BE stays UTF-16BE", "\xFE\xFF" + be("[PRINTFirmware]\nTcpIp=x\n"), "TcpIp",
                  "Caf\xC3\xA9",
                  "\xFE\xFF" + be("[PRINTFirmware]\nTcpIp=Caf") + "\0\xE9"s + be("\n")},
        WriteCase{"UTF-16 mark alone", "\xFF\xFE", "Interface", "1",
                  "\xFF\xFE" + le("[PRINTFirmware]\nInterface=1\n")},
        WriteCase{"UTF-16 damage kept",
                  "\xFF\xFE" + le("[PRINTFirmware]\nTcpIp=x\n;") + "\x00\xD8!"s, "TcpIp", "y",
                  "\xFF\xFE" + le("[PRINTFirmware]\nTcpIp=y\n;") + "\x00\xD8!"s},
        WriteCase{"binary around kept", "\x01\xFF\0g\n[PRINTFirmware]\nBaudRate=2\n\xFE\0"s,
                  "BaudRate", "6", "\x01\xFF\0g\n[PRINTFirmware]\nBaudRate=6\n\xFE\0"s}));

TEST(SettingsStore, ValuesReadBackAsWritten)
{
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    const std::pair<const char*, std::string> values[] = {
        {"Interface", "2"}, {"InterfaceSel", "-1"},  {"BaudRate", "6"}, {"TcpIp", "\xE9 1.2.3.4"},
        {"BitLength", "0"}, {"TcpIp", " 10.0.0.9 "}, {"Parity", "x"}};
    for (const auto& [key, value] : values)
        EXPECT_TRUE(writeSetting(path, key, value).ok());
    EXPECT_EQ(readSetting(path, "Interface"), "2");
    EXPECT_EQ(readSetting(path, "InterfaceSel"), "-1");
    EXPECT_EQ(readSetting(path, "BaudRate"), "6");
    EXPECT_EQ(readSetting(path, "BitLength"), "0");
    EXPECT_EQ(readSetting(path, "Parity"), "x");
    EXPECT_EQ(readSetting(path, "TcpIp"), "10.0.0.9"); // blanks around a value never count
    EXPECT_EQ(test::readBytes(path), "[PRINTFirmware]\nInterface=2\nInterfaceSel=-1\nBaudRate="
                                     "6\nTcpIp= 10.0.0.9 \nBitLength=0\nParity=x\n");
}

TEST(SettingsStore, PathIsBesideTheProgram)
{
    EXPECT_EQ(settingsFilePath("/opt/fw"), "/opt/fw/Firmware.ini");
}

} // namespace
} // namespace fw

namespace fw {
namespace {

// Files pieced together from hand-made fragments, junk included: whatever
// the file, a written key reads back as written and every other key reads
// as before.
TEST(SettingsStore, WriteThenReadOnAssortedFiles)
{
    const std::string fragments[] = {"[PRINTFirmware]",
                                     "[printfirmware ]",
                                     "[Other]",
                                     "[PRINTFirmware",
                                     "Interface=1",
                                     " baudrate = 3 ",
                                     "TcpIp=\"q\"",
                                     ";c",
                                     "",
                                     "\xEF\xBB\xBF",
                                     "\xFF\xFE",
                                     std::string("a\0b=1", 5),
                                     "Parity",
                                     "=x",
                                     "[]",
                                     "StopBit=0",
                                     "\r",
                                     "\t",
                                     "HandShake=\xE9"};
    const char* keys[] = {"Interface", "BaudRate",  "TcpIp", "Parity",
                          "StopBit",   "HandShake", "New"};
    std::uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (int round = 0; round < 400; ++round) {
        std::string file;
        for (int n = next() % 12; n > 0; --n) {
            file += fragments[next() % std::size(fragments)];
            file += (next() % 3 == 0) ? "\r\n" : (next() % 5 == 0 ? "" : "\n");
        }
        const char* key = keys[next() % std::size(keys)];
        const std::string value = "v" + std::to_string(round);
        const std::string after = iniReplace(file, kSettingsSection, key, value, "\n");
        EXPECT_EQ(iniLookup(after, kSettingsSection, key), value) << ::testing::PrintToString(file);
        for (const char* other : keys) {
            if (std::string_view(other) != key) {
                EXPECT_EQ(iniLookup(after, kSettingsSection, other),
                          iniLookup(file, kSettingsSection, other))
                    << other << " in " << ::testing::PrintToString(file);
            }
        }
    }
}

} // namespace
} // namespace fw
