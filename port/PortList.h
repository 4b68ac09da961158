// Maps the port numbers of "COMn" to device paths: the n-th serial device found, or the
// n-th path the operator named with --port.
#pragma once
#include <string>
#include <vector>

// Replaces the automatic search by these paths (in this order); an empty list restores it.
void SetExplicitPorts(std::vector<std::string> paths);
// Paths that port numbers 1, 2, ... stand for: the explicit ones if set, otherwise
// /dev/ttyUSB*, then /dev/ttyACM*, then /dev/ttyS*, each in numeric order of its suffix.
std::vector<std::string> CandidatePorts();
// The automatic search in a given directory (for /dev normally); names whose suffix is
// not a plain decimal number are ignored.
std::vector<std::string> ScanSerialDevices(const std::string &dir);
// Path of port number n (1-based), empty when there is no n-th port.
std::string PortPath(int n);

// The port to try first: when it (or the device it names) is among the candidates, it
// moves to the front; otherwise it costs nothing. Empty: the usual order.
void SetPreferredPort(std::string path);

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

// The name in byIdDir (normally /dev/serial/by-id) that points at the path, as a full
// path; empty when there is none.
std::string SerialByIdName(const std::string &path, const std::string &byIdDir = "/dev/serial/by-id");

// Where the port of the last successful connection is kept:
// $XDG_CONFIG_HOME/quintavolte/last-port, or ~/.config/quintavolte/last-port.
std::string RememberedPortFile();
// The remembered port, empty when none.
std::string RememberedPort();
// Keeps the port's by-id name, or the path when it has none. False when it cannot be written.
bool RememberPort(const std::string &path);
