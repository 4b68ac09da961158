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
