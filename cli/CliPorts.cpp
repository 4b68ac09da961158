#include "cli/CliPorts.h"

#include <iostream>
#include <unistd.h>

#include "device/ConnectionController.h"
#include "port/PortList.h"

namespace {

constexpr const char *kPrefix = "quintavolte-cli: ";

bool ErrIsTerminal(std::ostream &err)
{
    return &err == &std::cerr && isatty(STDERR_FILENO) == 1;
}

std::string StateText(const PortState &state)
{
    switch (state.Access) {
    case PortAccess::Free:
        return "can be opened";
    case PortAccess::InUse:
        return "cannot be opened: in use by another program";
    case PortAccess::NotSerial:
        return "not a serial port";
    case PortAccess::NoPermission:
        return "cannot be opened: permission denied (" +
               (state.Group.empty() ? PortOwnerText(state.Owner) : "group " + state.Group) + ")";
    case PortAccess::CannotOpen:
        break;
    }
    return "cannot be opened: " + state.Error;
}

}  // namespace

int CmdPorts(std::ostream &out)
{
    const std::vector<std::string> ports = CandidatePorts();
    for (size_t i = 0; i < ports.size(); ++i) {
        const PortState state = ExaminePort(ports[i]);
        out << "COM" << i + 1 << " " << ports[i];
        if (!state.ById.empty())
            out << " (" << state.ById << ")";
        out << ": " << StateText(state) << "\n";
    }
    return 0;
}

void ReportRefusedPorts(const std::vector<std::string> &refused, std::ostream &err)
{
    // Joining a group is the advice only where its members may read and write the port;
    // for any other port say who may use it.
    for (const RefusedGroup &g : GroupRefusedPorts(refused)) {
        if (g.Group.empty()) {
            for (const std::string &p : g.Ports)
                err << kPrefix << "permission denied on " << p << " (" << PortOwnerText(p) << ")\n";
            continue;
        }
        err << kPrefix << "permission denied on";
        for (const std::string &p : g.Ports)
            err << " " << p;
        err << ": these ports belong to the group " << g.Group << "; add yourself to it (sudo adduser $USER " << g.Group
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
