// MqttBridge: keeps one device's variables on an MQTT broker and carries allowed writes
// back. The device loop is this object's Step, run on one thread; the broker link does
// its network work elsewhere, so a turn never waits for the broker, nor for the device:
// reads, writes and the search for the device all go one exchange at a time. This class
// holds the phases (searching, identifying, online) and the broker's side; the reads are
// ReadRounds' and the writes and saves WriteQueue's.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "bridge/BridgeOptions.h"
#include "bridge/BridgeTopics.h"
#include "bridge/MqttLink.h"
#include "bridge/ReadRounds.h"
#include "bridge/WriteQueue.h"
#include "device/ActionManager.h"

using MqttLinkFactory = std::function<std::unique_ptr<MqttLink>(const MqttLinkSettings &)>;

class MqttBridge {
public:
    static constexpr uint32_t kRepublishMs = 60000;    // a value is sent at least this often
    static constexpr uint32_t kSearchPeriodMs = 3000;  // a lost device is looked for again
    static constexpr uint32_t kIdentifyMs = 5000;      // the chip id has to be read by then
    static constexpr uint32_t kWriteLimitMs = 3000;    // a write not settled by then failed
    static constexpr uint32_t kStatsMs = 60000;        // the link's counters, retained
    static constexpr size_t kMaxSetBytes = 64;         // a longer set payload is refused unread
    static constexpr uint32_t kRefusalLogMs = 1000;    // refused sets of a name: one log line

    MqttBridge(cActionManager &manager, BridgeOptions options, MqttLinkFactory makeLink, std::ostream &log);
    ~MqttBridge();

    // One turn: search or identify the device, take the set messages, follow the reads
    // and writes under way, publish what changed. Waits for neither broker nor device.
    void Step();
    // Steps until stop is set, then Shutdown; returns the exit status.
    int Run(const std::atomic<bool> &stop);
    // Publishes "offline", lets the device keep its configuration, and disconnects both.
    void Shutdown();

    enum class Phase { Searching, Identifying, Online };
    Phase CurrentPhase() const { return phase_; }
    const std::string &DeviceId() const { return deviceId_; }
    const MqttLink *Link() const { return link_.get(); }

private:
    struct Current {
        WriteQueue::Write Write;
        bool Requested = false;
        uint32_t Since = 0;
    };

    void WaitForWork();
    void PublishStats(uint32_t now);
    void Search(uint32_t now);
    void Identify(uint32_t now);
    void GoOnline(uint32_t now);
    void DeviceLost();
    void EnsureLink();
    void PublishEverything(uint32_t now);
    DiscoveryDevice Discovered() const;
    void ForgetStaleEntity(const MqttMessage &m);
    void TakeMessages();
    void HandleSet(const std::string &name, const std::string &text);
    void AdvanceWrite(uint32_t now);
    void FinishWrite(const std::string &outcome);
    std::string Refusal(const std::string &name, ModbusAction *v, const std::string &text);
    std::vector<std::string> OfferedWritable() const;
    uint32_t KnownForMs() const;
    void CollectReads(uint32_t now);
    void FeedReads();
    void Republish(uint32_t now);
    void Answer(const std::string &name, const std::string &outcome);
    bool Publish(const std::string &subtopic, const std::string &payload, bool retain, int qos);
    void Log(const std::string &text);
    void LogRefusal(const std::string &name, const std::string &line);
    void FlushRefusals(uint32_t now);

    cActionManager &manager_;
    BridgeOptions options_;
    MqttLinkFactory makeLink_;
    std::ostream &log_;
    std::unique_ptr<MqttLink> link_;
    std::string linkDeviceId_;      // the device the link's last will speaks for
    std::string linkBase_;          // and its topics
    uint32_t linkConnections_ = 0;  // connections of the link already served

    Phase phase_ = Phase::Searching;
    bool searching_ = false;
    bool searchedOnce_ = false;
    uint32_t lastSearch_ = 0;
    uint32_t identifyStart_ = 0;
    std::string deviceId_;
    std::string base_;  // PREFIX/<device id>
    std::string portPath_;
    std::set<std::string> writable_;
    WriteQueue queue_;
    ReadRounds rounds_;
    std::optional<Current> current_;         // the write under way
    std::set<std::string> discoveryTopics_;  // the config topics of what is offered now
    uint32_t lastRepublishCheck_ = 0;
    bool statsPublished_ = false;
    uint32_t lastStats_ = 0;
    struct RefusalLog {
        uint32_t Since = 0;  // when the last line was said
        uint32_t Held = 0;   // refusals since, not yet said
        std::string Last;    // the line of the latest
    };
    std::map<std::string, RefusalLog> refusals_;  // names refused within the last second
};
