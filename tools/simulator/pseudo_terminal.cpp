#include "pseudo_terminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace fw::sim {

PseudoTerminal::PseudoTerminal(bool rawSlave)
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error_ = std::string("openpty: ") + std::strerror(errno);
        return;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    if (rawSlave) {
        termios t{};
        if (::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
        }
    }
    master_ = master;
    slaveKeep_ = slave;
    slavePath_ = name;
}

PseudoTerminal::~PseudoTerminal()
{
    if (!link_.empty())
        ::unlink(link_.c_str());
    if (slaveKeep_ >= 0)
        ::close(slaveKeep_);
    if (master_ >= 0)
        ::close(master_);
}

bool PseudoTerminal::linkAsCom(const std::string& folder, int n, std::string& why)
{
    const std::string dir = folder + "/ports";
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        why = dir + ": " + std::strerror(errno);
        return false;
    }
    const std::string link = dir + "/COM" + std::to_string(n);
    ::unlink(link.c_str());
    if (::symlink(slavePath_.c_str(), link.c_str()) != 0) {
        why = link + ": " + std::strerror(errno);
        return false;
    }
    link_ = link;
    return true;
}

} // namespace fw::sim
