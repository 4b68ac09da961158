// The port side of quintavolte-cli: the ports list with by-id names and whether each
// opens, the permission line after a failed search, and the search's progress line.
#pragma once
#include <functional>
#include <ostream>
#include <string>
#include <vector>

int CmdPorts(std::ostream &out);

// "permission denied on PATH...: these ports belong to the group G; ..." for the refused
// ports whose group may read and write them, one line per group; for each other refused
// port "permission denied on PATH (owner O, group G, mode 0600)".
void ReportRefusedPorts(const std::vector<std::string> &refused, std::ostream &err);

// A progress line for a search, shown only when err is the terminal's standard error;
// empty otherwise. EndSearchProgress wipes the line again.
std::function<void(const std::string &path)> SearchProgress(std::ostream &err);
void EndSearchProgress(std::ostream &err);
