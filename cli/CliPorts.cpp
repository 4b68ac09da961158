#include "cli/CliPorts.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <sys/file.h>
#include <unistd.h>

#include "port/PortList.h"

namespace {

constexpr const char *kPrefix = "quintavolte-cli: ";

bool ErrIsTerminal(std::ostream &err) { return &err == &std::cerr && isatty(STDERR_FILENO) == 1; }

// What the search would meet at this port, found as it would: open, then the lock that
// keeps other programs out. Nothing is sent.
std::string OpenState(const std::string &path)
{
    const int fd = OpenPortFile(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (OpenRefusedForPermission(path)) {
            const std::string group = PortAccessGroup(path);
            return "cannot be opened: permission denied (" + (group.empty() ? PortOwnerText(path) : "group " + group) + ")";
        }
        return std::string("cannot be opened: ") + std::strerror(e);
    }
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free ? "can be opened" : "cannot be opened: in use by another program";
}

}  // namespace

int CmdPorts(std::ostream &out)
{
    const std::vector<std::string> ports = CandidatePorts();
    for (size_t i = 0; i < ports.size(); ++i) {
        out << "COM" << i + 1 << " " << ports[i];
        const std::string byId = SerialByIdName(ports[i]);
        if (!byId.empty() && byId != ports[i])
            out << " (" << byId << ")";
        out << ": " << OpenState(ports[i]) << "\n";
    }
    return 0;
}

void ReportRefusedPorts(const std::vector<std::string> &refused, std::ostream &err)
{
    // Joining a group is the advice only where its members may read and write the port;
    // for any other port say who may use it.
    std::map<std::string, std::vector<std::string>> byGroup;
    for (const std::string &p : refused) {
        const std::string group = PortAccessGroup(p);
        if (group.empty())
            err << kPrefix << "permission denied on " << p << " (" << PortOwnerText(p) << ")\n";
        else
            byGroup[group].push_back(p);
    }
    for (const auto &[group, ports] : byGroup) {
        err << kPrefix << "permission denied on";
        for (const std::string &p : ports)
            err << " " << p;
        err << ": these ports belong to the group " << group << "; add yourself to it (sudo adduser $USER " << group
            << ") and log in again\n";
    }
}

std::function<void(const std::string &path)> SearchProgress(std::ostream &err)
{
    if (!ErrIsTerminal(err))
        return {};
    return [&err](const std::string &path) { err << "\rsearching for the device: " << path << "\033[K" << std::flush; };
}

void EndSearchProgress(std::ostream &err)
{
    if (ErrIsTerminal(err))
        err << "\r\033[K" << std::flush;
}
