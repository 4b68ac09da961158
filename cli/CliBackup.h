// The settings commands of quintavolte-cli: backup FILE, restore FILE [--dry-run] [--yes]
// [--with-calibration], diff FILE [--with-calibration].
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
struct CliRestoreFlags {
    bool DryRun = false;           // only list the plan
    bool Yes = false;              // a new baud rate or address without asking
    bool WithCalibration = false;  // another unit's calibration too
};

int CmdRestore(CliDeviceLink &link, const std::string &file, const CliRestoreFlags &flags, std::ostream &out,
               std::ostream &err);
int CmdDiff(CliDeviceLink &link, const std::string &file, bool withCalibration, std::ostream &out, std::ostream &err);
