#include "bridge/MqttBridge.h"

#include "bridge/BridgeLog.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>

#include "core/MicroClock.h"
#include "device/LinkStatsFields.h"
#include "device/RegisterMap.h"
#include "device/SettingsFile.h"
#include "device/WriteGate.h"
#include "device/WriteJournal.h"
#include "port/PortList.h"

namespace {

constexpr char16_t kUidNames[3][12] = {u"ChipUID.H1", u"ChipUID.H2", u"ChipUID.L"};
constexpr uint32_t kBusyWaitMs = 5;    // the engine's and the shell's period
constexpr uint32_t kIdleWaitMs = 250;  // the longest sleep: stop requests, republishing

bool Settled(const ModbusAction *v)
{
    return v->State != mbsRequested && v->State != mbsSent;
}

// The published variables and the writable ones that can be read back, in table order.
std::vector<std::string> WatchedNames(const BridgeOptions &options)
{
    const std::set<std::string> shown(options.Names.begin(), options.Names.end());
    const std::set<std::string> writable(options.Writable.begin(), options.Writable.end());
    std::vector<std::string> names;
    for (const MbVariableRow &row : DeviceRegisterMap()) {
        const std::string name = MString(row.Name).ToUtf8();
        if (shown.count(name) != 0 || (writable.count(name) != 0 && row.Access != mbaWrite))
            names.push_back(name);
    }
    return names;
}

std::string Trimmed(const std::string &text)
{
    const size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return text.substr(b, text.find_last_not_of(" \t\r\n") - b + 1);
}

}  // namespace

MqttBridge::MqttBridge(cActionManager &manager, BridgeOptions options, MqttLinkFactory makeLink, std::ostream &log)
    : manager_(manager), options_(std::move(options)), makeLink_(std::move(makeLink)), log_(log),
      queue_(options_.Saving, [] { return GetTickCount32(); }), rounds_(WatchedNames(options_), options_.IntervalMs)
{
    writable_.insert(options_.Writable.begin(), options_.Writable.end());
}

MqttBridge::~MqttBridge() = default;

void MqttBridge::Log(const std::string &text)
{
    // One write per line: the broker link logs from its own thread.
    log_ << BridgeLogLine(text) << std::flush;
}

bool MqttBridge::Publish(const std::string &subtopic, const std::string &payload, bool retain, int qos)
{
    return link_ && link_->Publish(base_ + "/" + subtopic, payload, retain, qos);
}

void MqttBridge::Answer(const std::string &name, const std::string &outcome)
{
    Publish("result/" + name, outcome, false, 1);
}

void MqttBridge::Step()
{
    const uint32_t now = GetTickCount32();
    if (link_ && link_->Connections() != linkConnections_) {
        // A broker that restarted knows nothing: tell it all again, or that the device is away.
        linkConnections_ = link_->Connections();
        statsPublished_ = false;  // retained, so the broker lost it too: again at once
        if (phase_ == Phase::Online)
            PublishEverything(now);
        else
            Publish("status", "searching", true, 1);  // the link exists: the device was here
    }
    FlushRefusals(now);
    switch (phase_) {
    case Phase::Searching:
        TakeMessages();
        Search(now);
        return;
    case Phase::Identifying:
        manager_.TickScheduler();
        TakeMessages();
        Identify(now);
        return;
    case Phase::Online:
        manager_.TickScheduler();
        if (!manager_.Identified) {
            DeviceLost();
            return;
        }
        TakeMessages();
        AdvanceWrite(now);
        CollectReads(now);
        PublishStats(now);
        rounds_.StartRoundIfDue(now);
        FeedReads();
        Republish(now);
        return;
    }
}

int MqttBridge::Run(const std::atomic<bool> &stop)
{
    while (!stop.load()) {
        Step();
        WaitForWork();
    }
    Shutdown();
    return 0;
}

void MqttBridge::WaitForWork()
{
    // While an exchange is on the line (or the device is being looked for) the engine's
    // deadlines need the scheduler every few milliseconds; otherwise the loop sleeps until
    // the port, the broker or the next round has something for it.
    const bool busy = manager_.ExchangePending() || rounds_.Busy() || current_ || queue_.Waiting() != 0;
    int timeoutMs = static_cast<int>(kBusyWaitMs);
    if (phase_ == Phase::Online && !busy) {
        const int32_t untilRound = rounds_.UntilNextRound(GetTickCount32());
        timeoutMs = std::clamp<int>(untilRound, static_cast<int>(kBusyWaitMs), static_cast<int>(kIdleWaitMs));
    }
    pollfd fds[2] = {{manager_.LineReadyFd(), POLLIN, 0}, {link_ ? link_->EventFd() : -1, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) > 0 && (fds[1].revents & POLLIN) != 0) {
        uint64_t count;
        [[maybe_unused]] ssize_t n = ::read(fds[1].fd, &count, sizeof count);
    }
    // A reply complete or a frame's silence over: the shell's turn now.
    manager_.ServeLine(0);
}

void MqttBridge::PublishStats(uint32_t now)
{
    if (statsPublished_ && TickDiff(now, lastStats_) < int32_t(kStatsMs))
        return;
    std::string json = "{";
    for (const auto &[name, value] : LinkStatsFields(manager_.Stats()))
        json += (json.size() > 1 ? ",\"" : "\"") + std::string(name) + "\":" + std::to_string(value);
    json += "}";
    if (Publish("stats", json, true, 0)) {
        statsPublished_ = true;
        lastStats_ = now;
    }
}

void MqttBridge::Search(uint32_t now)
{
    if (!searching_) {
        if (searchedOnce_ && TickDiff(now, lastSearch_) < int32_t(kSearchPeriodMs))
            return;
        manager_.Connection.Begin();
        searching_ = true;
    }
    const ConnectionController::Result result = manager_.Connection.Step();
    if (result == ConnectionController::Result::Busy)
        return;
    searching_ = false;
    const bool first = !searchedOnce_;
    searchedOnce_ = true;
    lastSearch_ = GetTickCount32();
    if (result == ConnectionController::Result::NotFound) {
        if (first) {
            std::string ports;
            for (const std::string &p : CandidatePorts())
                ports += " " + p;
            Log(ports.empty() ? "no serial ports found; name one with --port PATH"
                              : "no Quintavolte device answered on" + ports + "; searching again every " +
                                    std::to_string(kSearchPeriodMs / 1000) + " s");
        }
        return;
    }
    portPath_ = manager_.DevicePath();
    for (const char16_t *name : kUidNames)
        manager_.Variable(MString(name))->State = mbsRequested;
    identifyStart_ = lastSearch_;
    phase_ = Phase::Identifying;
}

void MqttBridge::Identify(uint32_t now)
{
    if (!manager_.Identified) {
        phase_ = Phase::Searching;
        return;
    }
    MString words[3];
    bool all = true;
    for (int i = 0; i < 3; ++i) {
        ModbusAction *v = manager_.Variable(MString(kUidNames[i]));
        if (!Settled(v)) {
            all = false;
        } else if (v->State != mbsDone) {
            v->State = mbsRequested;  // ask again until the time is up
            all = false;
        }
        words[i] = v->Value;
    }
    std::string id;
    if (all && DeviceIdFrom(words[0], words[1], words[2], &id)) {
        deviceId_ = id;
        GoOnline(now);
        return;
    }
    if (TickDiff(now, identifyStart_) > int32_t(kIdentifyMs)) {
        Log("the device on " + portPath_ + " did not give its chip id; searching again");
        manager_.Identified = false;
        manager_.Disconnect();
        phase_ = Phase::Searching;
    }
}

void MqttBridge::GoOnline(uint32_t now)
{
    base_ = options_.Prefix + "/" + deviceId_;
    if (!linkDeviceId_.empty() && linkDeviceId_ != deviceId_)
        queue_.Reset();  // another device: what was written went to the one before
    queue_.ForgetAll();  // read afresh
    std::set<std::string> settings;
    for (const MbVariableRow *row : DeviceSettings(manager_.VersionX100))
        settings.insert(MString(row->Name).ToUtf8());
    rounds_.Attach(manager_.Shell, settings);
    phase_ = Phase::Online;
    Log("device " + deviceId_ + " online on " + portPath_ + ", publishing under " + base_);
    const bool fresh = !link_ || linkDeviceId_ != deviceId_;
    EnsureLink();
    // A link that stayed up while the device was away hears of it now.
    if (!fresh && link_->IsConnected()) {
        linkConnections_ = link_->Connections();
        PublishEverything(now);
    }
}

void MqttBridge::EnsureLink()
{
    if (link_ && linkDeviceId_ == deviceId_)
        return;
    if (link_) {
        // Another device on the port: the old one is gone, not looked for. Closing the
        // link sends no last will, so the old status is set here.
        link_->Publish(linkBase_ + "/status", "offline", true, 1);
        link_->Close();
        link_.reset();
    }
    MqttLinkSettings s;
    s.Host = options_.Host;
    s.Port = options_.BrokerPort();
    s.ClientId = options_.ClientId.empty() ? "quintavolte-" + deviceId_ : options_.ClientId;
    s.Username = options_.Username;
    s.Password = options_.Password;
    s.TlsCaFile = options_.TlsCaFile;
    s.TlsCaPem = options_.TlsCaPem;
    s.TlsCertFile = options_.TlsCertFile;
    s.TlsCertPem = options_.TlsCertPem;
    s.TlsKeyFile = options_.TlsKeyFile;
    s.TlsKeyPem = options_.TlsKeyPem;
    s.KeepAliveS = options_.KeepAliveS;
    s.RetryMaxS = unsigned(options_.RetryMaxS);
    s.WillTopic = base_ + "/status";
    s.WillPayload = "offline";
    s.Subscription = base_ + "/set/+";
    if (options_.Discovery)
        s.StoreSubscription = DiscoveryFilter(Discovered());  // to remove what is no longer offered
    link_ = makeLink_(s);
    linkDeviceId_ = deviceId_;
    linkBase_ = base_;
    linkConnections_ = 0;
}

void MqttBridge::PublishEverything(uint32_t now)
{
    ModbusAction *type = manager_.Variable(MString(u"DeviceType"));
    const std::string typeText = type != nullptr ? type->Value.ToUtf8() : std::string();
    Publish("status", "online", true, 1);
    Publish("info", InfoPayload(typeText, manager_.VersionX100, portPath_), true, 1);
    if (options_.Discovery && link_) {
        discoveryTopics_.clear();
        for (const MqttMessage &m : DiscoveryMessages(Discovered(), options_.Names, OfferedWritable())) {
            discoveryTopics_.insert(m.Topic);
            link_->Publish(m.Topic, m.Payload, true, 1);
        }
    }
    for (ReadRounds::Watched &w : rounds_.All())
        if (w.HasPublished) {
            Publish(w.Name, w.Published, true, 0);
            w.PublishedAt = now;
        }
}

std::vector<std::string> MqttBridge::OfferedWritable() const
{
    // A control that every set to would be refused is not offered.
    std::vector<std::string> offered;
    for (const std::string &name : options_.Writable)
        if (options_.AllowLinkChanges || !ChangesDeviceLink(name))
            offered.push_back(name);
    return offered;
}

DiscoveryDevice MqttBridge::Discovered() const
{
    const ModbusAction *type = manager_.Variable(MString(u"DeviceType"));
    DiscoveryDevice d;
    d.Id = deviceId_;
    d.Base = base_;
    d.Type = type != nullptr ? type->Value.ToUtf8() : std::string();
    d.VersionX100 = manager_.VersionX100;
    d.Prefix = options_.DiscoveryPrefix;
    d.English = options_.English;
    return d;
}

void MqttBridge::ForgetStaleEntity(const MqttMessage &m)
{
    // A config kept by the broker from an earlier run, for a name no longer offered (or
    // offered as another kind of entity): an empty retained config removes it.
    if (m.Size == 0 || discoveryTopics_.empty() || discoveryTopics_.count(m.Topic) != 0)
        return;
    Log("removing the discovery entry " + Printable(m.Topic, 200) + ": no longer offered");
    link_->Publish(m.Topic, std::string(), true, 1);
}

void MqttBridge::DeviceLost()
{
    Log("lost the device " + deviceId_ + "; searching again every " + std::to_string(kSearchPeriodMs / 1000) + " s");
    Publish("status", "searching", true, 1);
    if (current_)
        FinishWrite("failed: the device was lost");
    for (const WriteQueue::Write &w : queue_.TakeWaiting())
        Answer(w.Name, "failed: the device was lost");
    queue_.ForgetAll();
    // What was read before is not current when the device comes back: the first round
    // after it publishes fresh values only.
    rounds_.Detach();
    phase_ = Phase::Searching;
    lastSearch_ = GetTickCount32();
}

void MqttBridge::TakeMessages()
{
    if (!link_)
        return;
    for (const MqttMessage &m : link_->TakeIncoming()) {
        const std::string name = SetTopicName(m.Topic, base_);
        if (name.empty()) {
            if (options_.Discovery && IsDiscoveryTopic(m.Topic, Discovered()))
                ForgetStaleEntity(m);
            continue;
        }
        const std::string shown = Printable(name, 64);
        if (m.Size == 0)
            continue;  // clears a retained message; nothing to carry out
        if (m.Replayed) {
            // Kept by a broker that cannot leave it out; it was not published just now.
            Log("ignored a set of " + shown + " kept by the broker from earlier");
            continue;
        }
        if (m.Retained) {
            // A retained command would be carried out again on every reconnection.
            LogRefusal(name, "refused a retained set of " + shown);
            Answer(name, "refused: a retained set is not carried out");
            continue;
        }
        if (m.Size > kMaxSetBytes) {
            LogRefusal(name, "refused a set of " + shown + ": too long (" + std::to_string(m.Size) + " bytes): \"" +
                                 Printable(m.Payload) + "\"");
            Answer(name, "refused: too long");
            continue;
        }
        HandleSet(name, Trimmed(m.Payload));
    }
}

std::string MqttBridge::Refusal(const std::string &name, ModbusAction *v, const std::string &text)
{
    const std::string shown = Printable(name, 64);
    if (v == nullptr)
        return shown + " is not a variable of this device";
    if (!InFirmware(v->Name.View(), manager_.VersionX100))
        return shown + " is not in the device's firmware " + VersionText(manager_.VersionX100);
    if (const WriteCheck check = CheckWrite(*v, MString::FromUtf8(text)); !check.Ok())
        return "\"" + Printable(text) + "\" " + RefusalReason(check);
    return {};
}

void MqttBridge::HandleSet(const std::string &name, const std::string &text)
{
    const WriteOrigin origin("mqtt " + base_ + "/set/" + name);
    const std::string shown = Printable(name, 64);
    if (writable_.count(name) == 0) {
        LogRefusal(name, "refused a set of " + shown + ": not writable");
        Answer(name, "refused: " + shown + " is not writable");
        return;
    }
    if (ChangesDeviceLink(name) && !options_.AllowLinkChanges) {
        // Another speed or address would leave the bridge unable to reach the device.
        LogRefusal(name,
                   "refused a set of " + shown + ": it changes the device's link; allowed with --allow-link-changes");
        Answer(name,
               "refused: " + shown + " changes how the device is reached; allowed only with --allow-link-changes");
        return;
    }
    if (phase_ != Phase::Online) {
        Answer(name, "failed: the device is offline");
        return;
    }
    ModbusAction *v = manager_.Variable(MString::FromUtf8(name));
    if (const std::string refusal = Refusal(name, v, text); !refusal.empty()) {
        if (v != nullptr)
            if (const WriteCheck check = CheckWrite(*v, MString::FromUtf8(text)); !check.Ok())
                ModbusShell::JournalRefusal(*v, MString::FromUtf8(text), check);
        LogRefusal(name, "refused a set of " + shown + ": " + refusal);
        Answer(name, "refused: " + refusal);
        return;
    }
    WriteQueue::Write w;
    w.Name = name;
    w.Text = text;
    const WriteLimits *limits = WriteLimitsOf(*v);
    w.Command = limits != nullptr && limits->Command;
    if (!w.Command) {
        w.Stored = StoredValue(v->Type, text);
        // A counter or an output may change on the device meanwhile: known for a round only.
        const ReadRounds::Watched *watched = rounds_.Find(name);
        w.KnownForMs = watched != nullptr && watched->Setting ? 0 : KnownForMs();
    }
    if (std::optional<WriteQueue::Write> replaced = queue_.Add(std::move(w)))
        Answer(replaced->Name, "replaced");
}

uint32_t MqttBridge::KnownForMs() const
{
    return std::max<uint32_t>(uint32_t(options_.IntervalMs), 1000);
}

void MqttBridge::AdvanceWrite(uint32_t now)
{
    if (!current_) {
        std::optional<WriteQueue::Write> next;
        while ((next = queue_.Next()) && next->Unchanged)
            Answer(next->Name, "unchanged");  // nothing to write, nothing to save
        if (!next)
            return;
        current_ = Current{std::move(*next), false, 0};
    }
    Current &c = *current_;
    ModbusAction *v = manager_.Variable(MString::FromUtf8(c.Write.Name));
    if (!c.Requested) {
        // A read on the wire would end with "done" and be taken for the write's answer.
        if (v->State == mbsSent)
            return;
        const WriteOrigin origin("mqtt " + base_ + "/set/" + c.Write.Name);
        if (!manager_.Shell.RequestWrite(v, MString::FromUtf8(c.Write.Text))) {
            FinishWrite("refused: the write check refused the value");
            return;
        }
        c.Requested = true;
        c.Since = now;
        return;
    }
    const bool late = TickDiff(now, c.Since) > int32_t(kWriteLimitMs);
    if (v->WritePending) {
        if (v->State == mbsDone || late) {
            // Not sent: the write must not come back with a later read.
            v->WritePending = false;
            FinishWrite(late ? "failed: no reply from the device" : "failed: the value cannot be sent");
        }
        return;
    }
    switch (v->State) {
    case mbsDone:
        FinishWrite("ok");
        return;
    case mbsException:
        FinishWrite("failed: the device refused the value");
        return;
    case mbsTimedOut:
        FinishWrite("failed: no reply from the device");
        return;
    case mbsBadReply:
        // A reply came, so the request arrived; whether it was stored, the read-back tells.
        FinishWrite("unknown: the reply was damaged");
        return;
    default:
        if (late)
            FinishWrite("failed: no reply from the device");
        return;
    }
}

void MqttBridge::FinishWrite(const std::string &outcome)
{
    const WriteQueue::Write w = std::move(current_->Write);
    current_.reset();
    const bool ok = outcome == "ok";
    queue_.Finished(ok                                 ? WriteQueue::Outcome::Ok
                    : outcome.rfind("unknown", 0) == 0 ? WriteQueue::Outcome::Unknown
                                                       : WriteQueue::Outcome::Failed);
    if (w.Save) {
        Log(ok ? "the device saved what was written" : "asking the device to save what was written: " + outcome);
        Answer(w.Name, ok ? "saved" : outcome);
    } else {
        if (!ok)
            Log("set of " + w.Name + " to \"" + Printable(w.Text) + "\": " + outcome);
        Answer(w.Name, outcome);
    }
    if (phase_ != Phase::Online)
        return;
    // The value text now holds what was sent; the device's own comes with a fresh read.
    rounds_.ReadAgain(w.Name);
}

void MqttBridge::CollectReads(uint32_t now)
{
    const std::string writing = current_ && current_->Requested ? current_->Write.Name : std::string();
    rounds_.Collect(writing, [&](ReadRounds::Watched &w) {
        if (writable_.count(w.Name) != 0)
            queue_.Holds(w.Name, StoredValue(*w.Variable), w.Setting ? 0 : KnownForMs());
        const std::string text = ExactValueText(*w.Variable);
        if (text == "--" || (w.HasPublished && text == w.Published))
            return;
        w.Published = text;
        w.HasPublished = true;
        w.PublishedAt = now;
        Publish(w.Name, text, true, 0);
    });
}

void MqttBridge::FeedReads()
{
    // A write waiting to go out goes before further reads.
    if ((current_ && !current_->Requested) || queue_.Waiting() != 0)
        return;
    rounds_.Feed(current_ ? current_->Write.Name : std::string());
}

void MqttBridge::Republish(uint32_t now)
{
    if (TickDiff(now, lastRepublishCheck_) < 1000)
        return;
    lastRepublishCheck_ = now;
    for (ReadRounds::Watched &w : rounds_.All())
        if (w.HasPublished && TickDiff(now, w.PublishedAt) >= int32_t(kRepublishMs)) {
            w.PublishedAt = now;
            Publish(w.Name, w.Published, true, 0);
        }
}

void MqttBridge::LogRefusal(const std::string &name, const std::string &line)
{
    // A client that repeats a refused set many times a second must not flood the log:
    // the first of a second is said at once, the rest counted and said with the last one.
    const uint32_t now = GetTickCount32();
    const auto [it, fresh] = refusals_.try_emplace(Printable(name, 64));
    RefusalLog &r = it->second;
    if (!fresh) {
        ++r.Held;
        r.Last = line;
        return;
    }
    r.Since = now;
    Log(line);
}

void MqttBridge::FlushRefusals(uint32_t now)
{
    for (auto it = refusals_.begin(); it != refusals_.end();) {
        RefusalLog &r = it->second;
        if (TickDiff(now, r.Since) < int32_t(kRefusalLogMs)) {
            ++it;
            continue;
        }
        if (r.Held == 0) {
            it = refusals_.erase(it);
            continue;
        }
        Log(r.Last + " (" + std::to_string(r.Held) + " refused sets of " + it->first + " since the last line)");
        r.Held = 0;
        r.Since = now;
        ++it;
    }
}

void MqttBridge::Shutdown()
{
    // What was written through the bridge and not saved yet is kept by the device; nothing
    // else asks it to save.
    if (!queue_.Unsaved())
        manager_.Identified = false;
    manager_.Disconnect();  // also ends a search under way
    FlushRefusals(GetTickCount32() + kRefusalLogMs);
    if (link_) {
        for (const WriteQueue::Write &w : queue_.TakeWaiting())
            Answer(w.Name, "failed: the bridge stopped");
        Publish("status", "offline", true, 1);
        link_->Close();
        link_.reset();
    }
    phase_ = Phase::Searching;
}
