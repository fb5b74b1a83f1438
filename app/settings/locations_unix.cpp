#include "settings/locations.h"

#include "settings/settings_store.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// Set by the build from its install folders: the folder the program is
// installed to, and the installed sample packages relative to it.
#ifndef FW_INSTALL_FOLDER
#define FW_INSTALL_FOLDER ""
#endif
#ifndef FW_INSTALLED_PACKAGES
#define FW_INSTALLED_PACKAGES ""
#endif

namespace fw {

namespace {

constexpr const char* kConfigFolderName = "firmware-downloader";

bool exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Root may write anywhere; a folder with no write bit at all is read-only
// for root too, as a settings file marked that way is.
bool writable(const std::string& folder)
{
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0222) != 0 &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool sameFolder(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

std::string environment(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

} // namespace

std::string programFolder()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    const std::string exe(buf, static_cast<std::size_t>(n));
    const auto slash = exe.find_last_of('/');
    return slash == 0 ? "/" : exe.substr(0, slash);
}

Locations decideLocations(const LocationInputs& in)
{
    const std::string installedPackages =
        (std::filesystem::path(in.programFolder) / in.installedSamples).lexically_normal().string();
    Locations portable = portableLocations(in.programFolder);
    // K20T beside the program where there is one (a portable copy, readable
    // or not), else the samples installed with the program.
    if (!in.installedSamples.empty() && !exists(portable.packagesFolder) &&
        exists(installedPackages))
        portable.packagesFolder = installedPackages;
    if (exists(settingsFilePath(in.programFolder)))
        return portable;
    if (!sameFolder(in.programFolder, in.installFolder) && writable(in.programFolder))
        return portable;

    std::string config;
    if (!in.xdgConfigHome.empty() && in.xdgConfigHome.front() == '/')
        config = in.xdgConfigHome;
    else if (!in.home.empty() && in.home.front() == '/')
        config = in.home + "/.config";
    else
        return portable;

    Locations where;
    where.installed = true;
    where.settingsFolder = config + "/" + kConfigFolderName;
    where.packagesFolder = portable.packagesFolder;
    where.libraryFolder = in.programFolder;
    return where;
}

Locations programLocations()
{
    LocationInputs in;
    in.programFolder = programFolder();
    in.xdgConfigHome = environment("XDG_CONFIG_HOME");
    in.home = environment("HOME");
    if (in.home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            in.home = pw->pw_dir;
    }
    in.installFolder = FW_INSTALL_FOLDER;
    in.installedSamples = FW_INSTALLED_PACKAGES;
    return decideLocations(in);
}

Result<> makeSettingsFolder(const Locations& where)
{
    if (where.settingsFolder.empty())
        return Result<>::failure("There is no folder for the settings.");
    // Each missing folder on the way, as the configuration folder itself
    // may be missing too.
    std::string path;
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = where.settingsFolder.find('/', at + 1);
        path = where.settingsFolder.substr(0, at);
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
            return Result<>::failure("The folder " + path +
                                     " cannot be made: " + std::strerror(errno) + ".");
    }
    struct stat st {};
    if (::stat(where.settingsFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Result<>::failure("The settings folder " + where.settingsFolder +
                                 " is not a folder.");
    return Result<>::success();
}

} // namespace fw
