// The settings commands of quintavolte-cli: backup FILE, restore FILE [--dry-run], diff FILE.
#pragma once
#include <functional>
#include <ostream>
#include <string>

class cActionManager;

// What the commands need from the command-line session: connect (reporting why not)
// and the device object.
struct CliDeviceLink {
    std::function<bool()> Connect;
    std::function<cActionManager &()> Manager;
};

int CmdBackup(CliDeviceLink &link, const std::string &file, std::ostream &out, std::ostream &err);
int CmdRestore(CliDeviceLink &link, const std::string &file, bool dryRun, std::ostream &out, std::ostream &err);
int CmdDiff(CliDeviceLink &link, const std::string &file, std::ostream &out, std::ostream &err);
