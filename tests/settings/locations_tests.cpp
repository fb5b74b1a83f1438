// Where the settings file, the packages and the port links are: the program's
// folder while it can be written, the user's configuration folder when not.

#include "settings/locations.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fw {
namespace {

namespace fs = std::filesystem;

TEST(Locations, ProgramFolderWhileWritableElseTheUsersConfigurationFolder)
{
    // An installed tree: the program in lib/firmware-downloader, the samples
    // in share/firmware-downloader/K20T.
    test::TempDir dir;
    const std::string program = dir.file("lib/firmware-downloader");
    const std::string samples = dir.file("share/firmware-downloader/K20T");
    fs::create_directories(program);
    fs::create_directories(samples);
    const std::string fromProgram = "../../share/firmware-downloader/K20T";

    enum Setup {
        Writable,
        ReadOnly,
        ReadOnlyWithIni,
        ReadOnlyWithK20T,
        WritableInstallFolder,
        WritableWithK20T
    };
    struct Case {
        const char* what;
        Setup setup;
        std::string xdg, home;
        bool installed;
        std::string settings, packages;
    } const cases[] = {
        {"a writable folder keeps every role", Writable, "/x/cfg", "/home/u", false, program,
         samples},
        {"beside it, K20T wins", WritableWithK20T, "/x/cfg", "/home/u", false, program,
         program + "/K20T"},
        {"read-only: XDG_CONFIG_HOME", ReadOnly, "/x/cfg", "/home/u", true,
         "/x/cfg/firmware-downloader", samples},
        {"a relative XDG_CONFIG_HOME is ignored", ReadOnly, "cfg", "/home/u", true,
         "/home/u/.config/firmware-downloader", samples},
        {"unset: ~/.config", ReadOnly, "", "/home/u", true, "/home/u/.config/firmware-downloader",
         samples},
        {"no home: nowhere else", ReadOnly, "", "", false, program, samples},
        {"a Firmware.ini already there keeps its role", ReadOnlyWithIni, "/x/cfg", "/home/u", false,
         program, samples},
        {"read-only with K20T beside", ReadOnlyWithK20T, "/x/cfg", "/home/u", true,
         "/x/cfg/firmware-downloader", program + "/K20T"},
        {"the install folder, even where root can write", WritableInstallFolder, "/x/cfg",
         "/home/u", true, "/x/cfg/firmware-downloader", samples},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::permissions(program, fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
        fs::remove_all(program + "/K20T");
        fs::remove(program + "/Firmware.ini");
        if (c.setup == ReadOnlyWithIni)
            test::writeBytes(program + "/Firmware.ini", "[PRINTFirmware]\r\n");
        if (c.setup == ReadOnlyWithK20T || c.setup == WritableWithK20T)
            fs::create_directory(program + "/K20T");
        // No write bit for anyone: read-only for root as well.
        if (c.setup == ReadOnly || c.setup == ReadOnlyWithIni || c.setup == ReadOnlyWithK20T)
            fs::permissions(
                program, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);

        LocationInputs in;
        in.programFolder = program;
        in.xdgConfigHome = c.xdg;
        in.home = c.home;
        in.installFolder =
            c.setup == WritableInstallFolder ? program : "/usr/lib/firmware-downloader";
        in.installedSamples = fromProgram;
        const Locations where = decideLocations(in);
        EXPECT_EQ(where.installed, c.installed);
        EXPECT_EQ(where.settingsFolder, c.settings);
        EXPECT_EQ(fs::path(where.packagesFolder), fs::path(c.packages));
        EXPECT_EQ(where.libraryFolder, program) << "TAVLIB is always beside the program";
    }
}

TEST(Locations, TheSettingsFolderIsMadeForTheUserAlone)
{
    test::TempDir dir;
    Locations where;
    where.settingsFolder = dir.file("config/firmware-downloader");
    ASSERT_TRUE(makeSettingsFolder(where).ok());
    EXPECT_TRUE(fs::is_directory(where.settingsFolder));
    EXPECT_EQ(fs::status(where.settingsFolder).permissions() & fs::perms::all,
              fs::perms::owner_all);
    EXPECT_TRUE(makeSettingsFolder(where).ok()) << "already there";

    test::writeBytes(dir.file("plain"), "x");
    where.settingsFolder = dir.file("plain/firmware-downloader");
    EXPECT_TRUE(makeSettingsFolder(where).failed());
}

} // namespace
} // namespace fw
