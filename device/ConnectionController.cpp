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
    if (ports.empty())
        ports = CandidatePorts();
    const uint32_t fixed = manager_.LineBaud;
    // A rate remembered with a port is tried first there; 9600 everywhere else.
    const std::string remembered = fixed == 0 ? RememberedPort() : std::string();
    const uint32_t rememberedBaud = remembered.empty() ? 0 : RememberedBaud();
    std::vector<Try> tries;
    for (std::string &p : ports) {
        uint32_t baud = fixed != 0 ? fixed : kUsualBaud;
        if (rememberedBaud != 0 && SamePort(p, remembered))
            baud = rememberedBaud;
        tries.push_back({std::move(p), baud, false});
    }
    Start(std::move(tries), fixed == 0);
}

void ConnectionController::Start(std::vector<Try> tries, bool otherRates)
{
    returning_ = false;
    Shell().Port.Close();
    Shell().DropExchange();
    manager_.BuildRegisterMap();
    type_ = Shell().FindVariable(MString(kDeviceTypeName));
    typeTimeoutMs_ = type_ != nullptr ? type_->TimeoutMs : 0;
    tries_ = std::move(tries);
    otherRates_ = otherRates;
    next_ = 0;
    RefusedPorts.clear();
    TriedPorts.clear();
    pause_ = false;
    phase_ = type_ != nullptr ? Phase::Announce : Phase::Idle;
}

bool ConnectionController::AddOtherRates()
{
    // Only where the usual rate found a port that opened and nothing that answered: a
    // device set to another rate stays silent at this one.
    otherRates_ = false;
    const std::vector<Try> first = std::move(tries_);
    tries_.clear();
    for (const Try &t : first) {
        const auto outcome =
            std::find_if(TriedPorts.begin(), TriedPorts.end(), [&](const PortOutcome &o) { return o.Path == t.Path; });
        if (outcome == TriedPorts.end() || !outcome->OpenError.empty() || outcome->Answered)
            continue;
        for (const uint32_t baud : kOtherBauds)
            if (baud != t.Baud)
                tries_.push_back({t.Path, baud, true});
        if (t.Baud != kUsualBaud)
            tries_.push_back({t.Path, kUsualBaud, true});
    }
    next_ = 0;
    return !tries_.empty();
}

PortOutcome &ConnectionController::Outcome()
{
    const std::string &path = tries_[next_].Path;
    for (PortOutcome &o : TriedPorts)
        if (o.Path == path)
            return o;
    TriedPorts.push_back(PortOutcome{path, {}, false, false});
    return TriedPorts.back();
}

ModbusShell &ConnectionController::Shell()
{
    return manager_.Shell;
}

void ConnectionController::Abandon()
{
    phase_ = Phase::Idle;
    returning_ = false;
    if (type_ != nullptr && typeTimeoutMs_ != 0)
        type_->TimeoutMs = static_cast<uint32_t>(typeTimeoutMs_);
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
    returning_ = false;
    type_->TimeoutMs = static_cast<uint32_t>(typeTimeoutMs_);
    manager_.Identified = true;
    const std::string path = PortPath();
    const std::string byId = SerialByIdName(path);
    lastPort_ = byId.empty() ? path : byId;
    lastBaud_ = Shell().Port.BaudRate();
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
        if (next_ >= tries_.size() && !StopAfterPort && otherRates_ && AddOtherRates())
            return Result::Busy;
        if (next_ >= tries_.size() || StopAfterPort) {
            // A port where no device of ours answered is not kept from other programs.
            Abandon();
            return Result::NotFound;
        }
        phase_ = Phase::Open;
        if (OnTryPort)
            OnTryPort(tries_[next_].Path);
        return Result::Busy;
    case Phase::Open: {
        const Try &t = tries_[next_];
        const std::string &path = t.Path;
        const bool otherPort = Shell().Port.PortPath() != path;
        // The frame gap, the reply time and the quiet marks follow the port's rate.
        Shell().Port.Close();
        Shell().Port.SetParams(t.Baud, 8, 0, 0);
        if (!Shell().Port.Open(path)) {
            // Kept for the failure message: the device may be behind a port the user may not open.
            // (A port that opened at the first rate keeps what was met there.)
            const bool met =
                std::any_of(TriedPorts.begin(), TriedPorts.end(), [&](const PortOutcome &o) { return o.Path == path; });
            if (!met && OpenRefusedForPermission(path))
                RefusedPorts.push_back(path);
            else if (!met)
                TriedPorts.push_back({path, Shell().Port.LastError()});
            ++next_;
            phase_ = Phase::Announce;
            return Result::Busy;
        }
        Outcome();
        if (otherPort)
            Shell().EndQuietWait();
        Shell().PollingEnabled = true;
        Shell().Engine.Reset();
        attempt_ = 0;
        phase_ = Phase::Ask;
        return Result::Busy;
    }
    case Phase::Ask:
        type_->TimeoutMs = static_cast<uint32_t>(tries_[next_].Short ? kShortReplyMs : typeTimeoutMs_);
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
        Outcome().BadReplies = true;
    if (type_->State == mbsDone) {
        Outcome().Answered = true;
        if (type_->Value.View().starts_with(std::u16string_view(kDevicePrefix)))
            return Found();
        return NextPort();  // another kind of device answers on this port
    }
    if (++attempt_ < (tries_[next_].Short ? 1 : kAttempts) && Shell().Port.IsOpen()) {
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
    // A fixed rate is the operator's for this run, not a finding about the port; the usual
    // rate goes without saying.
    const uint32_t baud = manager_.Shell.Port.BaudRate();
    RememberPort(PortPath(), manager_.LineBaud == 0 && baud != kUsualBaud ? baud : 0);
}

ConnectionController::Result ConnectionController::StepReturn()
{
    if (lastPort_.empty())
        return Result::NotFound;
    const uint32_t now = GetTickCount32();
    if (!returning_ || !Searching()) {
        if (returning_ && TickDiff(now, returnAt_) < 0) {
            pause_ = true;
            return Result::Busy;
        }
        Start({{lastPort_, lastBaud_, false}}, false);
        returning_ = true;
    }
    const Result result = Step();
    if (result == Result::Found)
        return result;
    if (result == Result::NotFound) {
        // Step has ended the search (returning_ with it): the next one after the pause.
        returning_ = true;
        returnAt_ = GetTickCount32() + kReturnPeriodMs;
        pause_ = true;
    }
    return Result::Busy;
}

void ConnectionController::EndReturn()
{
    if (returning_ && Searching())
        Abandon();
    returning_ = false;
}
