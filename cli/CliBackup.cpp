#include "cli/CliBackup.h"

#include "device/ActionManager.h"
#include "device/SettingsFile.h"
#include "device/SettingsTransfer.h"
#include "device/WriteJournal.h"
#include "values/MFile.h"

namespace {

constexpr const char *kPrefix = "quintavolte-cli: ";

// Every setting the device holds; when some cannot be read, names them on err.
bool ReadSettingsOrSay(cActionManager &m, std::vector<std::pair<std::string, std::string>> *values, std::ostream &err)
{
    std::vector<std::string> unread;
    if (ReadDeviceSettings(m, values, &unread))
        return true;
    err << kPrefix << "could not read from the device:";
    for (const std::string &n : unread)
        err << " " << n;
    err << "\n";
    return false;
}

// Reads and checks the whole file, connects, checks it against the device and reads the
// device's settings: everything a restore or a diff needs before its first write.
bool Prepare(CliDeviceLink &link, const std::string &path, SettingsFile *file,
             std::vector<SettingChange> *changes, std::ostream &err)
{
    std::string text, error;
    if (!ReadSettingsText(path, &text, &error)) {
        err << kPrefix << error << "\n";
        return false;
    }
    if (!ParseSettingsFile(text, file, &error)) {
        err << kPrefix << path << ": " << error << "\n";
        return false;
    }
    if (!link.Connect())
        return false;
    cActionManager &m = link.Manager();
    if (!CheckSettingsForDevice(*file, ConnectedDeviceType(m), m.VersionX100, &error)) {
        err << kPrefix << path << ": " << error << "\n";
        return false;
    }
    std::vector<std::pair<std::string, std::string>> values;
    if (!ReadSettingsOrSay(m, &values, err))
        return false;
    *changes = CompareSettings(*file, values);
    return true;
}

}  // namespace

int CmdBackup(CliDeviceLink &link, const std::string &path, std::ostream &out, std::ostream &err)
{
    if (!link.Connect())
        return 1;
    cActionManager &m = link.Manager();
    std::vector<std::pair<std::string, std::string>> values;
    if (!ReadSettingsOrSay(m, &values, err)) {
        err << kPrefix << path << " was not written\n";
        return 1;
    }
    std::string error;
    if (!WriteSettingsText(path, FormatSettingsFile(ConnectedDeviceType(m), SettingsDateText(), values), &error)) {
        err << kPrefix << error << "\n";
        return 1;
    }
    // When the file is the standard output, the note must not run into it.
    const bool toOut = IsStandardOutput(path);
    (toOut ? err : out) << "saved " << values.size() << " settings of " << ConnectedDeviceType(m) << " to "
                        << (path == "-" ? "the standard output" : path) << "\n";
    return 0;
}

int CmdDiff(CliDeviceLink &link, const std::string &path, std::ostream &out, std::ostream &err)
{
    SettingsFile file;
    std::vector<SettingChange> changes;
    if (!Prepare(link, path, &file, &changes, err))
        return 1;
    for (const SettingChange &c : changes)
        out << c.Name << ": " << c.DeviceValue << " on the device, " << c.FileValue << " in the file\n";
    if (changes.empty())
        out << "the device holds the settings of " << path << "\n";
    return 0;
}

int CmdRestore(CliDeviceLink &link, const std::string &path, bool dryRun, std::ostream &out, std::ostream &err)
{
    SettingsFile file;
    std::vector<SettingChange> changes;
    if (!Prepare(link, path, &file, &changes, err))
        return 1;
    if (changes.empty()) {
        out << "nothing to restore: the device holds the settings of " << path << "\n";
        return 0;
    }
    for (const SettingChange &c : changes)
        out << c.Name << ": " << c.DeviceValue << " -> " << c.FileValue << "\n";
    if (dryRun) {
        out << "dry run: " << changes.size() << " settings would be written, nothing was\n";
        return 0;
    }
    const WriteOrigin origin("command restore: settings file " + path);
    const RestoreOutcome outcome = ApplySettingChanges(link.Manager(), changes);
    for (const std::string &f : outcome.Failed)
        err << kPrefix << f << "\n";
    if (!outcome.Failed.empty()) {
        err << kPrefix << "the restore stopped after " << outcome.Written << " of " << changes.size() << " settings"
            << (outcome.ConnectionLost ? ": the connection was lost" : "") << "\n";
        if (!outcome.PutBack.empty()) {
            err << kPrefix << "put back to their old values:";
            for (const std::string &n : outcome.PutBack)
                err << " " << n;
            err << "\n";
        }
        for (const std::string &n : outcome.NotPutBack)
            err << kPrefix << "could not put back " << n << "\n";
        err << kPrefix
            << (outcome.NotPutBack.empty() ? "the device holds its old settings; it was not asked to save"
                                           : "the device may hold a half-restored configuration; it was not asked to save it")
            << "\n";
        return 1;
    }
    if (outcome.SaveHeld) {
        err << kPrefix << "the settings were written, but an earlier failed restore holds back the save\n";
        return 1;
    }
    if (!outcome.Saved) {
        err << kPrefix << "the settings were written, but the device did not confirm saving its configuration\n";
        return 1;
    }
    out << "restored " << changes.size() << " settings; the device saved its configuration\n";
    return 0;
}
