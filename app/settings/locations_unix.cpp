#include "settings/locations.h"

#include <climits>
#include <unistd.h>

namespace fw {

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

} // namespace fw
