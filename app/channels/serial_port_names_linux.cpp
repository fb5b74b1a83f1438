#include "channels/serial_port_names.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <libudev.h>
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

std::string realPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// A link under <devDir>/serial/by-id, else by-path, to the same device.
std::string stableNameOf(const std::string& device, const std::string& devDir)
{
    const std::string wanted = realPath(device);
    if (wanted.empty())
        return {};
    for (const char* kind : {"/serial/by-id", "/serial/by-path"}) {
        const std::string folder = devDir + kind;
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (const dirent* e = ::readdir(dir))
                if (e->d_name[0] != '.')
                    names.emplace_back(e->d_name);
            ::closedir(dir);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
            if (realPath(folder + "/" + name) == wanted)
                return folder + "/" + name;
    }
    return {};
}

std::string firstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// udev keeps blanks in its identifiers as '_'.
std::string spaced(const char* value)
{
    std::string s = value ? value : "";
    std::replace(s.begin(), s.end(), '_', ' ');
    return s;
}

std::string ttyName(const std::string& device)
{
    std::string real = realPath(device);
    if (real.empty())
        real = device;
    return real.substr(real.rfind('/') + 1);
}

} // namespace

PortChoice findSerialPortIn(int portNumber, const std::string& linksFolder,
                            const std::string& sysClassTty, const std::string& devDir)
{
    if (portNumber < 1)
        return {};
    if (std::string linked = linkedPort(portNumber, linksFolder); !linked.empty())
        return {std::move(linked), PortSource::Link, {}};

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
            if (--left == 0) {
                std::string device = devDir + "/" + name;
                std::string stable = stableNameOf(device, devDir);
                return {std::move(device), PortSource::Enumeration, std::move(stable)};
            }
    }
    return {};
}

std::string resolveSerialPortIn(int portNumber, const std::string& linksFolder,
                                const std::string& sysClassTty, const std::string& devDir)
{
    return findSerialPortIn(portNumber, linksFolder, sysClassTty, devDir).device;
}

PortChoice findSerialPort(int portNumber, const std::string& linksFolder)
{
    return findSerialPortIn(portNumber, linksFolder, "/sys/class/tty", "/dev");
}

std::vector<PortLink> listPortLinks(const std::string& linksFolder)
{
    std::vector<PortLink> links;
    if (linksFolder.empty())
        return links;
    const std::string folder = linksFolder + "/ports";
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        const std::string link = folder + "/COM" + std::to_string(n);
        struct stat st {};
        if (::lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            continue;
        PortLink l;
        l.portNumber = n;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
        if (length > 0)
            l.target.assign(target, static_cast<std::size_t>(length));
        struct stat to {};
        if (::stat(link.c_str(), &to) != 0)
            l.state = errno == ELOOP ? LinkState::Loop : LinkState::Dangling;
        else if (S_ISDIR(to.st_mode))
            l.state = LinkState::Directory;
        else if (S_ISREG(to.st_mode))
            l.state = LinkState::RegularFile;
        else if (!S_ISCHR(to.st_mode))
            l.state = LinkState::NotCharacterDevice;
        links.push_back(std::move(l));
    }
    return links;
}

// A USB adapter's strings, from the USB device above the tty.
SerialPortDetails describeSerialPortIn(const std::string& device, const std::string& sysClassTty)
{
    SerialPortDetails d;
    std::string at = realPath(sysClassTty + "/" + ttyName(device) + "/device");
    for (int up = 0; up < 8 && at.size() > 1; ++up) {
        if (exists(at + "/idVendor")) {
            d.description = firstLine(at + "/product");
            d.manufacturer = firstLine(at + "/manufacturer");
            d.serialNumber = firstLine(at + "/serial");
            break;
        }
        at.erase(at.rfind('/'));
    }
    return d;
}

// The udev database first (it knows names from the hardware database too),
// sysfs for what it lacks or when udev is not running.
SerialPortDetails describeSerialPort(const std::string& device)
{
    SerialPortDetails d;
    if (udev* u = ::udev_new()) {
        if (udev_device* tty =
                ::udev_device_new_from_subsystem_sysname(u, "tty", ttyName(device).c_str())) {
            // The hardware database's name as it stands, else the device's
            // own identifier.
            const auto property = [&](const char* named, const char* identifier) {
                const char* v = ::udev_device_get_property_value(tty, named);
                return v && *v ? std::string(v)
                               : spaced(::udev_device_get_property_value(tty, identifier));
            };
            d.description = property("ID_MODEL_FROM_DATABASE", "ID_MODEL");
            d.manufacturer = property("ID_VENDOR_FROM_DATABASE", "ID_VENDOR");
            if (const char* v = ::udev_device_get_property_value(tty, "ID_SERIAL_SHORT"))
                d.serialNumber = v;
            ::udev_device_unref(tty);
        }
        ::udev_unref(u);
    }
    const SerialPortDetails fromSysfs = describeSerialPortIn(device, "/sys/class/tty");
    for (auto [mine, other] : {std::pair{&d.description, &fromSysfs.description},
                               std::pair{&d.manufacturer, &fromSysfs.manufacturer},
                               std::pair{&d.serialNumber, &fromSysfs.serialNumber}})
        if (mine->empty())
            *mine = *other;
    return d;
}

} // namespace fw
