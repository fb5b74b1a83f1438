// Package paths reach the system as UTF-16: a name outside the 8-bit code
// page opens, and a folder or a device under the name is not a package.

#include "engine/package_file.h"

#include "windows_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace fw::test {
namespace {

TEST(WindowsPackageFile, NamesReachTheSystemWhole)
{
    TestFolder folder("package-\xC3\x84\xE6\x97\xA5\xE6\x9C\xAC"); // package-Ä日本
    const std::string bytes = "\x01"
                              "91\x02"
                              "END\x17\x03"
                              "00\r\n";
    const std::string named = folder / "FONT-\xC3\x9C\xE6\x97\xA5.DPX"; // FONT-Ü日.DPX
    writeFile(named, bytes);
    ASSERT_TRUE(CreateDirectoryW(wide(folder / "folder.DPX").c_str(), nullptr));
    struct Case {
        const char* name;
        std::string path;
        std::string error; // empty: opens
    } cases[] = {
        {"a name outside the code page", named, ""},
        {"a folder", folder / "folder.DPX", "it is not a file."},
        {"a device", "NUL", "it is not a file."},
        {"nothing there", folder / "gone.DPX", "file not found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilePackageReader reader;
        const Result<> opened = reader.open(c.path);
        if (!c.error.empty()) {
            ASSERT_TRUE(opened.failed());
            EXPECT_NE(opened.error().find(c.error), std::string::npos) << opened.error();
            continue;
        }
        ASSERT_TRUE(opened.ok()) << opened.error();
        std::int64_t length = 0;
        ASSERT_TRUE(reader.length(length).ok());
        ASSERT_EQ(length, static_cast<std::int64_t>(bytes.size()));
        std::string got(bytes.size(), '\0');
        ASSERT_TRUE(reader.read({reinterpret_cast<std::uint8_t*>(got.data()), got.size()}).ok());
        EXPECT_EQ(got, bytes);
    }
}

} // namespace
} // namespace fw::test
