// Maps the port numbers of "COMn" to device paths: the n-th serial device found, or the
// n-th path the operator named with --port.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Replaces the automatic search by these paths (in this order); an empty list restores it.
void SetExplicitPorts(std::vector<std::string> paths);
// The explicit ports, empty when the automatic search is in force.
std::vector<std::string> ExplicitPorts();
// Paths that port numbers 1, 2, ... stand for: the explicit ones if set, otherwise the
// automatic search of the device directory (ScanSerialDevices).
std::vector<std::string> CandidatePorts();
// The automatic search in a given directory (for /dev normally): ttyUSB*, ttyACM*, then
// the ports of dir/serial/by-id no such name stands for, then ttyAMA*, rfcomm* and ttyS*;
// each family in numeric order of its suffix, names whose suffix is not a plain decimal
// number ignored. Each device once: a by-id link only where no node above names its device.
std::vector<std::string> ScanSerialDevices(const std::string &dir);
// The directory the automatic search looks in, "/dev" unless a test set another; an
// empty path restores "/dev".
void SetDeviceDirectory(std::string dir);
std::string DeviceDirectory();
// Every port the operator may choose from: the candidates, then what the automatic search
// would find besides (started with explicit ports), each device once.
std::vector<std::string> PortChoices();
// Path of port number n (1-based), empty when there is no n-th port.
std::string PortPath(int n);

// The port to try first: when it (or the device it names) is among the candidates, it
// moves to the front. A port the automatic search would not find (a link of any name, a
// pseudo-terminal of a network adapter) is put in front of it while it exists, except a
// bare /dev/pts/N: its number goes to whichever terminal opens next. A port that is gone
// costs nothing; explicit ports are never added to. Empty: the usual order.
void SetPreferredPort(std::string path);
// Whether two paths name the same device (a by-id link and its node do).
bool SamePort(const std::string &a, const std::string &b);

// The open(2) behind every port open, replaceable so that tests can have it refused
// (a permission refusal cannot be staged as root). Null restores the real one.
using PortOpenFunction = int (*)(const char *path, int flags);
void SetPortOpenFunction(PortOpenFunction open);
// Opens a port file; on failure the errno is kept for LastOpenErrno.
int OpenPortFile(const std::string &path, int flags);
// errno of the last failed open of this path, 0 when the last open worked or none ran.
int LastOpenErrno(const std::string &path);
// Whether an open of the path was refused for lack of permission.
bool OpenRefusedForPermission(const std::string &path);
// The group that owns the device file ("dialout"), or its number when it has no name.
std::string PortGroupName(const std::string &path);
// The group to join for the port: the device file's group when its members may read and
// write it and it is not root (joining root is no advice to give). Empty otherwise.
std::string PortAccessGroup(const std::string &path);
// Who owns the device file and its mode ("0600"); false when it cannot be examined.
struct PortOwner {
    std::string User;
    std::string Group;
    std::string Mode;
};
bool PortOwnership(const std::string &path, PortOwner *owner);
// Who may use the port, for when there is no group to join: "owner root, group root,
// mode 0600"; empty when the file cannot be examined.
std::string PortOwnerText(const std::string &path);
// The same for ownership already found (empty for an owner left unknown).
std::string PortOwnerText(const PortOwner &owner);

// The name in byIdDir (serial/by-id of the device directory when empty) that points at the
// path, as a full path; empty when there is none.
std::string SerialByIdName(const std::string &path, const std::string &byIdDir = {});

// What the search would meet at a port, found as it would (open, then the lock that keeps
// other programs out); nothing is sent. The ports list of the command line and the port
// choice of the window both show it.
// NotSerial: it opens but is no terminal (/dev/null, a plain file). InUse also covers a
// port another process holds open without a lock, where /proc or /var/lock tells.
enum class PortAccess { Free, InUse, NoPermission, CannotOpen, NotSerial };
struct PortState {
    std::string Path;
    std::string ById;  // its by-id name, empty when it has none (or is one)
    PortAccess Access = PortAccess::CannotOpen;
    std::string Error;  // CannotOpen: the system's reason
    std::string Group;  // NoPermission: the group to join, when joining would help
    PortOwner Owner;    // NoPermission without a group: who may use it (empty when unknown)
};
PortState ExaminePort(const std::string &path);
// Whether another process has the device open (a descriptor in /proc/*/fd) or holds the
// lock file /var/lock/LCK..<name> with a living process id. False where it cannot tell.
bool HeldByOtherProcess(const std::string &path);
// Only the lock file part of that.
bool LockFileHeld(const std::string &path);
// The directories looked in (tests put their own); empty restores /proc and /var/lock.
void SetHolderDirectories(std::string procDir, std::string lockDir);

// Where the port of the last successful connection is kept:
// $XDG_CONFIG_HOME/quintavolte/last-port, or ~/.config/quintavolte/last-port.
std::string RememberedPortFile();
// The remembered port, empty when none.
std::string RememberedPort();
// The rate the remembered port worked at, 0 when none was kept with it.
uint32_t RememberedBaud();
// Keeps the port's by-id name, or the path when it has none, and the rate it worked at
// (0: none) on the line after it. False when it cannot be written.
bool RememberPort(const std::string &path, uint32_t baud = 0);
