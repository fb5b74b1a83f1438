#include "channels/serial_port_names.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fw {

namespace {

// "ttyUSB12" with prefix "ttyUSB" gives 12; -1 when the rest is not a number.
long numberAfter(std::string_view name, std::string_view prefix)
{
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return -1;
    long n = 0;
    for (char c : name.substr(prefix.size())) {
        if (c < '0' || c > '9' || n > 1000000)
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// A ttyS node exists for every possible UART; only those whose driver found
// hardware (type other than 0) are present.
bool uartPresent(const std::string& ttyDir)
{
    std::ifstream in(ttyDir + "/type");
    int type = 0;
    return in >> type && type != 0;
}

std::string linkedPort(int portNumber, const std::string& linksFolder)
{
    if (linksFolder.empty())
        return {};
    const std::string link = linksFolder + "/ports/COM" + std::to_string(portNumber);
    struct stat st {};
    if (::lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    char resolved[PATH_MAX];
    if (::realpath(link.c_str(), resolved))
        return resolved;
    // A link to a device that is not there: name its target so the failure
    // report says what was looked for.
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlink(link.c_str(), target.data(), target.size() - 1);
    if (n <= 0)
        return link;
    std::string t(target.data(), static_cast<std::size_t>(n));
    if (t.front() != '/')
        t = linksFolder + "/ports/" + t;
    return t;
}

} // namespace

std::string resolveSerialPortIn(int portNumber, const std::string& linksFolder,
                                const std::string& sysClassTty, const std::string& devDir)
{
    if (portNumber < 1)
        return {};
    if (std::string linked = linkedPort(portNumber, linksFolder); !linked.empty())
        return linked;

    static constexpr std::string_view kGroups[] = {"ttyUSB", "ttyACM", "ttyS"};
    std::vector<std::pair<long, std::string>> found[std::size(kGroups)];
    if (DIR* dir = ::opendir(sysClassTty.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            for (std::size_t g = 0; g < std::size(kGroups); ++g) {
                const long n = numberAfter(name, kGroups[g]);
                if (n < 0)
                    continue;
                const std::string tty = sysClassTty + "/" + name;
                if (!exists(tty + "/device"))
                    break;
                if (kGroups[g] == "ttyS" && !uartPresent(tty))
                    break;
                if (!exists(devDir + "/" + name))
                    break;
                found[g].emplace_back(n, name);
                break;
            }
        }
        ::closedir(dir);
    }
    int left = portNumber;
    for (auto& group : found) {
        std::sort(group.begin(), group.end());
        for (const auto& [n, name] : group)
            if (--left == 0)
                return devDir + "/" + name;
    }
    return {};
}

std::string resolveSerialPort(int portNumber, const std::string& linksFolder)
{
    return resolveSerialPortIn(portNumber, linksFolder, "/sys/class/tty", "/dev");
}

} // namespace fw
