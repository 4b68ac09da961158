#include "device/ConnectionController.h"

#include <algorithm>

#include "core/MicroClock.h"
#include "device/ActionManager.h"
#include "port/PortList.h"

namespace {

constexpr char16_t kDeviceTypeName[] = u"DeviceType";
constexpr char16_t kDevicePrefix[] = u"Quintavolte";
// The reasons CSerialPort gives for a port it could not have.
constexpr char kInUseReason[] = "in use by another program";
constexpr char kNotTerminalReason[] = "not a terminal";

}  // namespace

PortOutcome::Kind PortOutcome::Result() const
{
    if (OpenError == kInUseReason)
        return Kind::InUse;
    if (OpenError == kNotTerminalReason)
        return Kind::NotSerial;
    if (!OpenError.empty())
        return Kind::CannotOpen;
    if (Answered)
        return Kind::OtherDevice;
    return BadReplies ? Kind::BadReplies : Kind::NoAnswer;
}

std::vector<RefusedGroup> GroupRefusedPorts(const std::vector<std::string> &refused)
{
    std::vector<RefusedGroup> groups;
    for (const std::string &p : refused) {
        const std::string g = PortAccessGroup(p);
        auto it = std::find_if(groups.begin(), groups.end(), [&](const RefusedGroup &r) { return r.Group == g; });
        if (it == groups.end())
            groups.push_back({g, {p}});
        else
            it->Ports.push_back(p);
    }
    return groups;
}

void ConnectionController::Begin(std::vector<std::string> ports)
{
    Shell().Port.Close();
    Shell().DropExchange();
    manager_.BuildRegisterMap();
    Shell().Port.SetParams(manager_.LineBaud, 8, 0, 0);
    type_ = Shell().FindVariable(MString(kDeviceTypeName));
    ports_ = ports.empty() ? CandidatePorts() : std::move(ports);
    next_ = 0;
    RefusedPorts.clear();
    TriedPorts.clear();
    pause_ = false;
    phase_ = type_ != nullptr ? Phase::Announce : Phase::Idle;
}

ModbusShell &ConnectionController::Shell()
{
    return manager_.Shell;
}

void ConnectionController::Abandon()
{
    phase_ = Phase::Idle;
    Shell().PollingEnabled = false;
    Shell().Port.Close();
    Shell().DropExchange();  // the request in flight is dropped with the port
    manager_.Identified = false;
}

ConnectionController::Result ConnectionController::NextPort()
{
    // The port that gave up stays open; the next Open closes it.
    Shell().PollingEnabled = false;
    ++next_;
    phase_ = Phase::Announce;
    return Result::Busy;
}

ConnectionController::Result ConnectionController::Found()
{
    phase_ = Phase::Idle;
    manager_.Identified = true;
    manager_.VersionX100 = cActionManager::ParseVersionX100(type_->Value);
    if (connectedBefore_)
        ++Shell().Stats.Reconnections;
    connectedBefore_ = true;
    return Result::Found;
}

ConnectionController::Result ConnectionController::Step()
{
    pause_ = false;
    const uint32_t now = GetTickCount32();
    switch (phase_) {
    case Phase::Idle:
        return Result::NotFound;
    case Phase::Announce:
        if (next_ >= ports_.size() || StopAfterPort) {
            // A port where no device of ours answered is not kept from other programs.
            Abandon();
            return Result::NotFound;
        }
        phase_ = Phase::Open;
        if (OnTryPort)
            OnTryPort(ports_[next_]);
        return Result::Busy;
    case Phase::Open: {
        const std::string &path = ports_[next_];
        if (!Shell().Port.Open(path)) {
            // Kept for the failure message: the device may be behind a port the user may not open.
            if (OpenRefusedForPermission(path))
                RefusedPorts.push_back(path);
            else
                TriedPorts.push_back({path, Shell().Port.LastError()});
            ++next_;
            phase_ = Phase::Announce;
            return Result::Busy;
        }
        TriedPorts.push_back(PortOutcome{path, {}, false, false});
        Shell().PollingEnabled = true;
        Shell().Engine.Reset();
        attempt_ = 0;
        phase_ = Phase::Ask;
        return Result::Busy;
    }
    case Phase::Ask:
        type_->State = mbsRequested;
        type_->LastPoll = 0;
        phase_ = Phase::Send;
        phaseStart_ = now;
        [[fallthrough]];
    case Phase::Send:
        // After a failed attempt the shell waits for a quiet line before it sends again.
        if (type_->State == mbsRequested && Shell().Port.IsOpen() &&
            TickDiff(now, phaseStart_) <= int32_t(kSendLimitMs)) {
            Shell().Run();
            pause_ = type_->State == mbsRequested;
            return Result::Busy;
        }
        phase_ = Phase::Reply;
        phaseStart_ = now;
        [[fallthrough]];
    case Phase::Reply:
        // A link lost meanwhile (timeouts beyond the limit) has closed the port.
        if (type_->State == mbsSent && Shell().Port.IsOpen() && TickDiff(now, phaseStart_) <= int32_t(kReplyLimitMs)) {
            manager_.TickScheduler();
            pause_ = !manager_.ServeLine(0);
            return Result::Busy;
        }
        break;
    }
    if (type_->State == mbsBadReply)
        TriedPorts.back().BadReplies = true;
    if (type_->State == mbsDone) {
        TriedPorts.back().Answered = true;
        if (type_->Value.View().starts_with(std::u16string_view(kDevicePrefix)))
            return Found();
        return NextPort();  // another kind of device answers on this port
    }
    if (++attempt_ < kAttempts && Shell().Port.IsOpen()) {
        phase_ = Phase::Ask;
        return Result::Busy;
    }
    return NextPort();
}

bool ConnectionController::Connect(std::vector<std::string> ports)
{
    CancelSearch = false;
    StopAfterPort = false;
    interrupted_ = false;
    // The caller's requests end with the search, however it ends.
    struct EndRequests {
        ConnectionController &Controller;
        ~EndRequests()
        {
            Controller.interrupted_ = Controller.CancelSearch || Controller.StopAfterPort;
            Controller.CancelSearch = false;
            Controller.StopAfterPort = false;
        }
    } endRequests{*this};
    Begin(std::move(ports));
    for (;;) {
        const Result result = Step();
        if (result != Result::Busy)
            return result == Result::Found;
        if (pause_ && OnSearchWait)
            OnSearchWait();
        if (CancelSearch) {
            Abandon();
            return false;
        }
        // Until the line has something for the search, or the time of a step has come.
        if (pause_)
            manager_.RestOnLine(kPauseMs);
    }
}

ConnectionController::Choice ConnectionController::ConnectToPort(const std::string &path)
{
    Choice choice;
    const std::string previous = DevicePath();
    if (OnPort(path)) {
        choice.Found = true;
        return choice;
    }
    if (manager_.Identified)
        manager_.Disconnect();
    choice.Found = Connect({path});
    const bool cancelled = !choice.Found && interrupted_;
    if (choice.Found) {
        // From now on the search starts at this port; a session with ports of its own
        // gains it in front of them.
        SetPreferredPort(path);
        const std::vector<std::string> before = ExplicitPorts();
        if (!before.empty()) {
            std::vector<std::string> after{path};
            for (const std::string &p : before)
                if (!SamePort(p, path))
                    after.push_back(p);
            SetExplicitPorts(after);
        }
        // A port the search would not find by itself (a bare pseudo-terminal) becomes the
        // session's port, so that the next search finds the device there again.
        const std::vector<std::string> candidates = CandidatePorts();
        if (std::none_of(candidates.begin(), candidates.end(), [&](const std::string &p) { return SamePort(p, path); }))
            SetExplicitPorts({path});
        return choice;
    }
    choice.Cancelled = cancelled;
    if (cancelled || previous.empty())
        return choice;
    choice.Previous = previous;
    // The chosen port's outcomes are what the operator is told about.
    std::vector<std::string> refused = std::move(RefusedPorts);
    std::vector<PortOutcome> tried = std::move(TriedPorts);
    choice.BackOnPrevious = Connect({previous});
    RefusedPorts = std::move(refused);
    TriedPorts = std::move(tried);
    return choice;
}

std::string ConnectionController::PortPath() const
{
    return manager_.Shell.Port.PortPath();
}

std::string ConnectionController::DevicePath() const
{
    return manager_.Identified ? PortPath() : std::string();
}

bool ConnectionController::OnPort(const std::string &path) const
{
    const std::string device = DevicePath();
    return !device.empty() && SamePort(device, path);
}

void ConnectionController::RememberOpenPort() const
{
    RememberPort(PortPath());
}
