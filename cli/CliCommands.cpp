#include "cli/CliCommands.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <filesystem>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/CliBackup.h"
#include "cli/CliHistory.h"
#include "cli/CliJournal.h"
#include "cli/CliConsent.h"
#include "cli/CliMqtt.h"
#include "cli/CliPorts.h"
#include "core/MicroClock.h"
#include "core/Notify.h"
#include "core/Version.h"
#include "device/ActionManager.h"
#include "device/DeviceDump.h"
#include "device/LinkStatsFields.h"
#include "device/SettingsFile.h"
#include "device/WriteGate.h"
#include "device/WriteJournal.h"
#include "port/PortList.h"
#include "values/DebugDump.h"
#include "values/MFile.h"

std::atomic<bool> g_cliStop{false};

namespace {

// Per exchange: the 500 ms reply timeout plus the silence and a scheduler turn or two.
constexpr uint32_t kPerVariableMs = 700;

class Session {
public:
    Session(std::ostream &out, std::ostream &err) : out_(out), err_(err)
    {
        previousHook_ = SetMessageHook([this](std::u16string_view text) {
            err_ << "quintavolte-cli: " << MString(std::u16string(text).c_str()).ToUtf8() << "\n";
        });
    }
    ~Session()
    {
        if (manager_)
            Close();
        SetMessageHook(std::move(previousHook_));
    }

    // The link options, before the first use of Manager().
    void SetLink(uint16_t maxRead, uint32_t baud)
    {
        maxRead_ = maxRead;
        baud_ = baud;
    }

    // The unit the requests go to and the direction control, before the first use of Manager().
    void SetUnit(uint8_t address, bool rtsDirection)
    {
        address_ = address;
        rtsDirection_ = rtsDirection;
    }

    cActionManager &Manager()
    {
        if (!manager_) {
            manager_ = std::make_unique<cActionManager>();
            manager_->SetMaxRead(maxRead_);
            manager_->LineBaud = baud_;
            manager_->SetUnitAddress(address_);
            manager_->SetRtsDirection(rtsDirection_);
            manager_->BuildRegisterMap();
        }
        return *manager_;
    }

    // Looks every name up; reports the unknown ones. Connect rebuilds the table, so
    // look up again after connecting.
    bool Lookup(const std::vector<std::string> &names, std::vector<ModbusAction *> *variables)
    {
        bool ok = true;
        for (const std::string &name : names) {
            ModbusAction *v = Manager().Variable(MString::FromUtf8(name));
            if (v == nullptr) {
                err_ << "quintavolte-cli: unknown variable " << name << "\n";
                ok = false;
            }
            variables->push_back(v);
        }
        return ok;
    }

    bool Connect()
    {
        if (CandidatePorts().empty()) {
            err_ << "quintavolte-cli: no serial ports found; name one with --port PATH\n";
            return false;
        }
        Manager().Connection.OnTryPort = SearchProgress(err_);
        const bool found = Manager().Connect();
        EndSearchProgress(err_);
        if (found) {
            Manager().Connection.RememberOpenPort();  // tried first next time
            return true;
        }
        // Say what went wrong where: a port that would not open is no missing device.
        std::vector<std::string> silent;
        for (const PortOutcome &p : Manager().Connection.TriedPorts) {
            switch (p.Result()) {
            case PortOutcome::Kind::InUse:
            case PortOutcome::Kind::CannotOpen:
                err_ << "quintavolte-cli: cannot open " << p.Path << ": " << p.OpenError << "\n";
                break;
            case PortOutcome::Kind::NotSerial:
                err_ << "quintavolte-cli: cannot open " << p.Path << ": not a terminal (not a serial port)\n";
                break;
            case PortOutcome::Kind::BadReplies:
                err_ << "quintavolte-cli: replies on " << p.Path
                     << " failed their check (damaged, or not an answer to the request)\n";
                break;
            case PortOutcome::Kind::OtherDevice:
                err_ << "quintavolte-cli: another kind of device answered on " << p.Path << "\n";
                break;
            case PortOutcome::Kind::NoAnswer:
                silent.push_back(p.Path);
                break;
            }
        }
        if (!silent.empty()) {
            err_ << "quintavolte-cli: no Quintavolte device answered on";
            for (const std::string &p : silent)
                err_ << " " << p;
            if (address_ != kAnyUnitAddress)
                err_ << " at address " << int(address_);
            err_ << "\n";
        }
        ReportRefusedPorts(Manager().Connection.RefusedPorts, err_);
        err_ << "quintavolte-cli: choose the port with --port PATH (quintavolte-cli ports lists them)\n";
        return false;
    }

    // Ticks the scheduler until none of the variables is still waiting for its exchange.
    bool WaitSettled(const std::vector<ModbusAction *> &variables, uint32_t timeoutMs)
    {
        const uint32_t start = GetTickCount32();
        for (;;) {
            bool busy = false;
            for (const ModbusAction *v : variables)
                busy = busy || v->State == mbsRequested || v->State == mbsSent;
            if (!busy)
                return true;
            if (!manager_->Identified || g_cliStop.load() || TickDiff(GetTickCount32(), start) > int32_t(timeoutMs))
                return false;
            manager_->TickScheduler();
            manager_->ServeLine(1);  // the shell runs as soon as the line has something for it
        }
    }

    // Reads the variables once; false when the link is gone.
    bool ReadAll(const std::vector<ModbusAction *> &variables)
    {
        for (ModbusAction *v : variables)
            v->State = mbsRequested;
        return WaitSettled(variables, kPerVariableMs * variables.size() + 1000);
    }

    // Reports a variable whose exchange did not end with a reply; true when it did.
    bool ReportOutcome(const ModbusAction *v)
    {
        const std::string name = v->Name.ToUtf8();
        switch (v->State) {
        case mbsDone:
            return true;
        case mbsException:
            err_ << "quintavolte-cli: the device refused " << name << " (exception reply)\n";
            return false;
        case mbsTimedOut:
            err_ << "quintavolte-cli: no reply for " << name << "\n";
            return false;
        case mbsBadReply:
            err_ << "quintavolte-cli: the reply for " << name
                 << " failed its check (damaged, or not an answer to the request)\n";
            return false;
        default:
            err_ << "quintavolte-cli: "
                 << (manager_->Identified ? "gave up waiting for " : "connection lost while reading ") << name << "\n";
            return false;
        }
    }

    // Asks the device to keep its configuration (what Disconnect does for an identified
    // device), but reports whether it confirmed.
    bool SaveToRom() { return manager_->Identified && manager_->WriteNumber(MString(u"SaveConfigToRomNow"), 1); }

    // Ends the session without a further save request.
    void Close()
    {
        manager_->Identified = false;
        manager_->Disconnect();
        manager_.reset();
    }

    std::ostream &out_;
    std::ostream &err_;

private:
    std::unique_ptr<cActionManager> manager_;
    uint16_t maxRead_ = ModbusShell::kDefaultMaxRead;
    uint32_t baud_ = 0;
    uint8_t address_ = kAnyUnitAddress;
    bool rtsDirection_ = false;
    MessageHook previousHook_;
};

int CmdInfo(Session &s)
{
    if (!s.Connect())
        return 1;
    cActionManager &m = s.Manager();
    ModbusAction *type = m.Variable(MString(u"DeviceType"));
    s.out_ << "port: " << m.DevicePath() << "\n"
           << "type: " << type->Value.ToUtf8() << "\n"
           << "version: " << m.VersionX100 << "\n";
    return 0;
}

int CmdGet(Session &s, const std::vector<std::string> &names)
{
    std::vector<ModbusAction *> vars;
    if (!s.Lookup(names, &vars) || !s.Connect())
        return 1;
    vars.clear();
    s.Lookup(names, &vars);
    s.ReadAll(vars);
    int status = 0;
    for (const ModbusAction *v : vars) {
        if (s.ReportOutcome(v))
            s.out_ << v->Name.ToUtf8() << " = " << ExactValueText(*v) << "\n";
        else
            status = 1;
    }
    return status;
}

int CmdSet(Session &s, const std::string &name, const std::string &valueText, bool yes)
{
    std::vector<ModbusAction *> vars;
    if (!s.Lookup({name}, &vars))
        return 1;
    ModbusAction *v = vars[0];
    if (v->Access == mbaRead) {
        s.err_ << "quintavolte-cli: " << name << " is read-only\n";
        return 1;
    }
    const MString text = MString::FromUtf8(valueText);
    if (const WriteCheck check = CheckWrite(*v, text); !check.Ok()) {
        ModbusShell::JournalRefusal(*v, text, check);
        s.err_ << "quintavolte-cli: refused, nothing written: " << DescribeRefusal(check) << "\n";
        return 1;
    }
    // Asked before connecting, so nobody holds the line while the operator decides.
    if (ChangesDeviceLink(std::string_view(name))) {
        const std::string why =
            name + " changes how the device is reached: after it the program may no longer reach it";
        switch (AskLinkChange(why + ". Write " + valueText + "?", yes, s.err_)) {
        case CliConsent::Yes:
            break;
        case CliConsent::Declined:
            s.err_ << "quintavolte-cli: nothing written\n";
            return 1;
        case CliConsent::Refused:
            s.err_ << "quintavolte-cli: " << why
                   << "; nothing written. Add --yes to write it without a terminal to ask on\n";
            return 2;
        }
    }
    if (!s.Connect())
        return 1;
    vars.clear();
    s.Lookup({name}, &vars);
    v = vars[0];
    if (v->Access != mbaWrite)
        s.ReadAll(vars);  // the journal keeps the value the write replaces
    s.Manager().Shell.RequestWrite(v, text);
    s.WaitSettled(vars, 2 * kPerVariableMs);
    if (v->WritePending) {  // the encoder refused the text and said why
        s.err_ << "quintavolte-cli: could not write " << name << "\n";
        return 1;
    }
    if (!s.ReportOutcome(v))
        return 1;
    // Show what the device holds now; a write-only command may read back anything.
    if (v->Access != mbaWrite) {
        s.ReadAll(vars);
        if (!s.ReportOutcome(v)) {
            // Without the read-back nobody knows what the device holds: its configuration
            // is not saved, as a restore that cannot check a value does not save it.
            s.err_ << "quintavolte-cli: the device acknowledged writing " << name << " = " << valueText
                   << ", but the read-back failed: the write may or may not have landed; the device was not asked "
                      "to save its configuration\n";
            return 1;
        }
        s.out_ << name << " = " << ExactValueText(*v) << "\n";
    }
    // Only after a write is the device asked to keep its configuration.
    if (!s.SaveToRom()) {
        s.err_ << "quintavolte-cli: " << name
               << " was written, but the device did not confirm saving its configuration\n";
        return 1;
    }
    return 0;
}

std::string CsvField(const std::string &field)
{
    if (field.find_first_of(",\"\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (char c : field)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string ClockText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &local);
    return buf;
}

// The device was lost: says so with the time and searches its port again every few
// seconds (at the rate it answered at) until it answers (true) or the command is
// interrupted (false).
bool ComeBack(Session &s)
{
    cActionManager &m = s.Manager();
    ConnectionController &c = m.Connection;
    if (!c.CanReturn())
        return false;
    s.err_ << "quintavolte-cli: connection lost at " << ClockText() << "; trying " << c.LastDevicePort()
           << " again every " << ConnectionController::kReturnPeriodMs / 1000 << " s\n";
    while (!g_cliStop.load()) {
        if (c.StepReturn() == ConnectionController::Result::Found) {
            s.err_ << "quintavolte-cli: connection back at " << ClockText() << " on " << m.DevicePath() << "\n";
            return true;
        }
        if (!c.Pause())
            continue;
        if (m.Shell.Port.IsOpen())
            m.RestOnLine(5);
        else
            SleepMs(10);  // between two searches: nothing on the line to wait for
    }
    c.EndReturn();
    return false;
}

// The link's counters on err, after a command that used the line for a while.
void SayLinkStats(Session &s)
{
    s.err_ << "quintavolte-cli: link: " << LinkStatsSummary(s.Manager().Stats()) << "\n";
}

int WatchLoop(Session &s, const CliOptions &o)
{
    std::vector<ModbusAction *> vars;
    if (!s.Lookup(o.Args, &vars) || !s.Connect())
        return 1;
    vars.clear();
    s.Lookup(o.Args, &vars);
    // The operator asked for this pace: a variable may be read again that soon.
    for (ModbusAction *v : vars)
        v->PeriodMs = std::min<int32_t>(v->PeriodMs, static_cast<int32_t>(o.IntervalMs));
    cActionManager &m = s.Manager();
    if (o.Csv) {
        s.out_ << "time";
        for (const std::string &n : o.Args)
            s.out_ << "," << CsvField(n);
        s.out_ << "\n";
    }
    while (!g_cliStop.load()) {
        const uint32_t start = GetTickCount32();
        s.ReadAll(vars);
        if (!m.Identified) {
            if (!ComeBack(s))
                return 1;
            // The search rebuilt the table.
            vars.clear();
            s.Lookup(o.Args, &vars);
            for (ModbusAction *v : vars)
                v->PeriodMs = std::min<int32_t>(v->PeriodMs, static_cast<int32_t>(o.IntervalMs));
            continue;
        }
        if (g_cliStop.load())
            break;
        s.out_ << ClockText();
        for (const ModbusAction *v : vars) {
            const std::string value = v->State == mbsDone ? ExactValueText(*v)
                                                          : std::string(v->State == mbsException  ? "refused"
                                                                        : v->State == mbsBadReply ? "bad reply"
                                                                                                  : "no reply");
            if (o.Csv)
                s.out_ << "," << CsvField(value);
            else
                s.out_ << "  " << v->Name.ToUtf8() << " = " << value;
        }
        s.out_ << std::endl;
        // Nobody reads any more (a closed pipe): stop rather than poll the device forever.
        if (!s.out_) {
            s.err_ << "quintavolte-cli: cannot write the output\n";
            return 1;
        }
        // Keep the link's tasks running until the next sample is due.
        while (!g_cliStop.load() && TickDiff(GetTickCount32(), start) < o.IntervalMs && m.Identified) {
            m.TickScheduler();
            m.ServeLine(5);
        }
    }
    return 0;
}

int CmdWatch(Session &s, const CliOptions &o)
{
    const int status = WatchLoop(s, o);
    if (o.Stats && s.Manager().Stats().Requests > 0)
        SayLinkStats(s);
    return status;
}

// Polls every variable of the table, round after round, and shows the link's counters
// every interval: one table row or CSV line each, until interrupted.
int CmdStats(Session &s, const CliOptions &o)
{
    if (!s.Connect())
        return 1;
    cActionManager &m = s.Manager();
    const auto names = LinkStatsFields(m.Stats());
    s.out_ << (o.Csv ? "time" : "time    ");
    for (const auto &[name, value] : names)
        s.out_ << (o.Csv ? "," : " ") << name;
    s.out_ << std::endl;
    uint32_t shown = GetTickCount32();
    while (!g_cliStop.load()) {
        if (!m.Identified && !ComeBack(s))
            return 1;
        m.RequestAllReads();
        m.TickScheduler();
        m.ServeLine(5);
        if (TickDiff(GetTickCount32(), shown) < o.IntervalMs)
            continue;
        shown = GetTickCount32();
        s.out_ << ClockText();
        for (const auto &[name, value] : LinkStatsFields(m.Stats())) {
            if (o.Csv)
                s.out_ << "," << value;
            else
                s.out_ << " " << std::setw(static_cast<int>(std::strlen(name))) << value;
        }
        s.out_ << std::endl;
        if (!s.out_) {
            s.err_ << "quintavolte-cli: cannot write the output\n";
            return 1;
        }
    }
    return 0;
}

int CmdDump(Session &s, const std::string &file)
{
    if (!s.Connect())
        return 1;
    DumpOutcome outcome;
    const auto entries = CollectDumpEntries(s.Manager(), &outcome, &g_cliStop);
    SayLinkStats(s);
    // A dump cut short is not worth more than the file it would replace.
    if (outcome.Stopped || g_cliStop.load()) {
        s.err_ << "quintavolte-cli: interrupted; " << file << " was not written\n";
        return 1;
    }
    if (outcome.ConnectionLost) {
        s.err_ << "quintavolte-cli: connection lost during the dump (" << outcome.Unread << " of " << entries.size()
               << " variables unread); " << file << " was not written\n";
        return 1;
    }
    std::string error;
    if (!SaveDebugDumpAt(file, entries, &error)) {
        s.err_ << "quintavolte-cli: cannot write " << file << ": " << error << "\n";
        return 1;
    }
    // When the dump itself is the standard output, the note must not run into it.
    (IsStandardOutput(file) ? s.err_ : s.out_)
        << "saved " << entries.size() << " variables to " << (file == "-" ? "the standard output" : file) << "\n";
    if (outcome.Unread > 0) {
        s.err_ << "quintavolte-cli: " << outcome.Unread << " of " << entries.size()
               << " variables could not be read; they were saved with their last known text (-- when never read)\n";
        return 1;
    }
    return 0;
}

int CmdShow(Session &s, const std::string &file)
{
    // The viewer names a damaged file by its full path, as a file dialog would give it.
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(file, ec);
    const MString path = MString::FromUtf8(ec ? file : full.lexically_normal().string());
    // The path goes to the system byte for byte; only the damaged line shows it as text.
    std::string error;
    const int fd = OpenDumpForReading(file, &error);
    if (fd < 0) {
        s.err_ << "quintavolte-cli: cannot read " << file << ": " << error << "\n";
        return 1;
    }
    const std::vector<MString> lines = ReadDebugDumpFrom(fd, path);
    ::close(fd);
    for (const MString &line : lines)
        s.out_ << line.ToUtf8() << "\n";
    const MString damaged = MString::Concat(MString::Concat(u"Файл ", path), u" поврежден!");
    return lines.size() == 1 && lines[0].Equals(damaged) ? 1 : 0;
}

int RunCommand(Session &s, const CliOptions &o)
{
    if (o.Command == "ports")
        return CmdPorts(s.out_);
    if (o.Command == "info")
        return CmdInfo(s);
    if (o.Command == "get")
        return CmdGet(s, o.Args);
    if (o.Command == "set")
        return CmdSet(s, o.Args[0], o.Args[1], o.Yes);
    if (o.Command == "watch")
        return CmdWatch(s, o);
    if (o.Command == "stats")
        return CmdStats(s, o);
    if (o.Command == "dump")
        return CmdDump(s, o.Args[0]);
    if (o.Command == "show")
        return CmdShow(s, o.Args[0]);
    if (o.Command == "mqtt")
        return CmdMqtt(o, s.out_, s.err_);
    if (o.Command == "journal")
        return CmdJournal(JournalPath(), s.out_, s.err_);
    CliDeviceLink link{[&s] { return s.Connect(); }, [&s]() -> cActionManager & { return s.Manager(); }};
    if (o.Command == "backup")
        return CmdBackup(link, o.Args[0], s.out_, s.err_);
    if (o.Command == "restore")
        return CmdRestore(link, o.Args[0], CliRestoreFlags{o.DryRun, o.Yes, o.WithCalibration}, s.out_, s.err_);
    if (o.Command == "diff")
        return CmdDiff(link, o.Args[0], o.WithCalibration, s.out_, s.err_);
    const CliHistoryOptions history{o.HistoryDb, o.HistoryIntervalS, o.From, o.To, o.Daily, o.Csv, o.Args};
    if (o.Command == "log")
        return CmdLog(link, history, s.out_, s.err_);
    if (o.Command == "history")
        return CmdHistory(history, s.out_, s.err_);
    s.err_ << "quintavolte-cli: unknown command " << o.Command << "\n";
    return 2;
}

}  // namespace

int RunCli(const CliOptions &o, std::ostream &out, std::ostream &err)
{
    if (o.Help) {
        out << CliUsage();
        return 0;
    }
    if (o.Version) {
        out << "quintavolte-cli " QV_VERSION_TEXT "\n";
        return 0;
    }
    SetExplicitPorts(o.Ports);
    SetPreferredPort(RememberedPort());
    SetJournalPath(o.Journal);
    const WriteOrigin origin("command " + o.Command);
    Session s(out, err);
    s.SetLink(o.MaxRead, o.Baud);
    s.SetUnit(o.Address, o.RtsDirection);
    const int status = RunCommand(s, o);
    // Output that never arrived is not a success.
    if (status == 0 && !out.flush()) {
        err << "quintavolte-cli: cannot write the output\n";
        return 1;
    }
    return status;
}
