#include "cli/CliBackup.h"

#include "cli/CliConsent.h"
#include "device/ActionManager.h"
#include "device/SettingsFile.h"
#include "device/SettingsTransfer.h"
#include "device/WriteJournal.h"
#include "device/WriteGate.h"
#include "values/MFile.h"

namespace {

constexpr const char *kPrefix = "quintavolte-cli: ";

// Every setting the device holds and its chip identity; when some cannot be read, names
// them on err.
bool ReadSettingsOrSay(cActionManager &m, std::vector<std::pair<std::string, std::string>> *values, std::string *chip,
                       std::ostream &err)
{
    std::vector<std::string> unread;
    if (ReadDeviceSettings(m, values, &unread, chip))
        return true;
    err << kPrefix << "could not read from the device:";
    for (const std::string &n : unread)
        err << " " << n;
    err << "\n";
    return false;
}

// Reads and checks the whole file, connects, checks it against the device and reads the
// device's settings: everything a restore or a diff needs before its first write.
bool Prepare(CliDeviceLink &link, const std::string &path, bool withCalibration, SettingsFile *file, SettingsPlan *plan,
             std::ostream &out, std::ostream &err)
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
    std::string chip;
    if (!ReadSettingsOrSay(m, &values, &chip, err))
        return false;
    *plan = PlanSettings(*file, values, ConnectedDeviceType(m), chip, withCalibration);
    // The notes belong to the plan: where the file came from when that is not this unit.
    if (plan->OtherVersion)
        out << "note: the file was saved from " << file->DeviceType << ", the device is " << ConnectedDeviceType(m)
            << "\n";
    if (plan->OtherUnit) {
        const std::string from = file->Chip.empty() ? std::string("a file that does not name its unit")
                                                    : "another unit (chip " + file->Chip + ", this is " + chip + ")";
        if (plan->CalibrationAsked)
            out << "note: " << from << ": its calibration is included, as --with-calibration asks\n";
        else
            out << "note: " << from << ": its calibration is left out (--with-calibration includes it)\n";
    }
    return true;
}

// The settings a plan leaves out, one line each.
void SayLeftOut(const SettingsPlan &plan, std::ostream &out)
{
    for (const SettingChange &c : plan.LeftOut)
        out << c.Name << ": " << c.DeviceValue << " -> " << c.FileValue << " left out: another unit's calibration\n";
}

}  // namespace

int CmdBackup(CliDeviceLink &link, const std::string &path, std::ostream &out, std::ostream &err)
{
    if (!link.Connect())
        return 1;
    cActionManager &m = link.Manager();
    std::vector<std::pair<std::string, std::string>> values;
    std::string chip;
    if (!ReadSettingsOrSay(m, &values, &chip, err)) {
        err << kPrefix << path << " was not written\n";
        return 1;
    }
    std::string error;
    if (!WriteSettingsText(path, FormatSettingsFile(ConnectedDeviceType(m), SettingsDateText(), values, chip),
                           &error)) {
        err << kPrefix << error << "\n";
        return 1;
    }
    // When the file is the standard output, the note must not run into it.
    const bool toOut = IsStandardOutput(path);
    (toOut ? err : out) << "saved " << values.size() << " settings of " << ConnectedDeviceType(m) << " to "
                        << (path == "-" ? "the standard output" : path) << "\n";
    return 0;
}

int CmdDiff(CliDeviceLink &link, const std::string &path, bool withCalibration, std::ostream &out, std::ostream &err)
{
    SettingsFile file;
    SettingsPlan plan;
    if (!Prepare(link, path, withCalibration, &file, &plan, out, err))
        return 1;
    for (const SettingChange &c : plan.Changes)
        out << c.Name << ": " << c.DeviceValue << " on the device, " << c.FileValue << " in the file\n";
    for (const SettingChange &c : plan.LeftOut)
        out << c.Name << ": " << c.DeviceValue << " on the device, " << c.FileValue
            << " in the file, left out: another unit's calibration\n";
    if (plan.Changes.empty() && plan.LeftOut.empty())
        out << "the device holds the settings of " << path << "\n";
    return 0;
}

int CmdRestore(CliDeviceLink &link, const std::string &path, const CliRestoreFlags &flags, std::ostream &out,
               std::ostream &err)
{
    SettingsFile file;
    SettingsPlan plan;
    if (!Prepare(link, path, flags.WithCalibration, &file, &plan, out, err))
        return 1;
    const std::vector<SettingChange> &changes = plan.Changes;
    SayLeftOut(plan, out);
    if (changes.empty()) {
        out << "nothing to restore" << (plan.LeftOut.empty() ? "" : " but the calibration left out")
            << ": the device holds the " << (plan.LeftOut.empty() ? "" : "other ") << "settings of " << path << "\n";
        return 0;
    }
    for (const SettingChange &c : changes)
        out << c.Name << ": " << c.DeviceValue << " -> " << c.FileValue << "\n";
    if (flags.DryRun) {
        out << "dry run: " << changes.size() << " settings would be written, nothing was\n";
        return 0;
    }
    if (plan.ChangesLink) {
        std::string names;
        for (const SettingChange &c : changes)
            if (ChangesDeviceLink(std::string_view(c.Name)))
                names += (names.empty() ? "" : " and ") + c.Name;
        const std::string why =
            "the restore changes " + names + ": the program may no longer reach the device after it";
        switch (AskLinkChange(why + ". Restore?", flags.Yes, err)) {
        case CliConsent::Yes:
            break;
        case CliConsent::Declined:
            err << kPrefix << "nothing was written\n";
            return 1;
        case CliConsent::Refused:
            err << kPrefix << why << "; nothing was written. Add --yes to restore it without a terminal to ask on\n";
            return 2;
        }
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
            << (outcome.NotPutBack.empty()
                    ? "the device holds its old settings; it was not asked to save"
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
