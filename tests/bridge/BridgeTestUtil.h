// Helpers of the bridge tests: the stand-in under a fixed link path, a broker link that
// records what the bridge publishes, and a bounded wait.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bridge/MqttLink.h"
#include "device/ChildProcess.h"
#include "testkit/Wait.h"

namespace testutil {

// A fresh directory under the test's temporary directory, removed with its files.
class TempDir {
public:
    TempDir()
    {
        std::string t = ::testing::TempDir() + "qv-bridge-XXXXXX";
        if (mkdtemp(t.data()) != nullptr)
            path_ = t;
    }
    ~TempDir()
    {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string File(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string ReadText(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

using testkit::WaitUntil;

// The stand-in, reachable under the same path across restarts.
class LinkedSim {
public:
    explicit LinkedSim(std::string link) : link_(std::move(link)) {}
    bool Start(const std::vector<std::string> &extra = {})
    {
        std::vector<std::string> argv{QUINTAVOLTE_SIM_PATH, "--link", link_};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return proc_.Start(argv) && !proc_.FirstLine().empty();
    }
    void Stop() { proc_.Stop(); }
    const std::string &Path() const { return link_; }
    std::string Stderr() const { return proc_.Stderr(); }

private:
    std::string link_;
    ChildProcess proc_;
};

// Records what the bridge publishes; the test plays the broker's side.
class FakeLink : public MqttLink {
public:
    explicit FakeLink(MqttLinkSettings settings) : Settings(std::move(settings)) {}

    bool Publish(const std::string &topic, const std::string &payload, bool retain, int) override
    {
        if (!Connected)
            return false;
        Published.push_back(MqttMessage{topic, payload, retain});
        return true;
    }
    std::vector<MqttMessage> TakeIncoming() override
    {
        std::vector<MqttMessage> taken(Incoming.begin(), Incoming.end());
        Incoming.clear();
        return taken;
    }
    uint32_t Connections() const override { return ConnectionCount; }
    bool IsConnected() const override { return Connected; }
    void Close() override { Closed = true; }

    // The last payload sent to the topic, or "(none)".
    std::string Last(const std::string &topic) const
    {
        for (auto it = Published.rbegin(); it != Published.rend(); ++it)
            if (it->Topic == topic)
                return it->Payload;
        return "(none)";
    }
    size_t Count(const std::string &topic) const
    {
        size_t n = 0;
        for (const MqttMessage &m : Published)
            n += m.Topic == topic ? 1 : 0;
        return n;
    }
    // As the broker link hands it on: the payload cut on arrival, its full size kept.
    void Receive(const std::string &topic, const std::string &payload, bool retained = false, bool replayed = false)
    {
        Incoming.push_back(
            MqttMessage{topic, payload.substr(0, MqttMessage::kKeptPayload), retained, replayed, payload.size()});
    }

    MqttLinkSettings Settings;
    std::vector<MqttMessage> Published;
    std::deque<MqttMessage> Incoming;
    bool Connected = true;
    uint32_t ConnectionCount = 1;
    bool Closed = false;
};

// Hands a test-owned FakeLink to the bridge, which destroys its link when it is done.
class ForwardLink : public MqttLink {
public:
    explicit ForwardLink(FakeLink *target) : target_(target) {}
    bool Publish(const std::string &t, const std::string &p, bool r, int q) override
    {
        return target_->Publish(t, p, r, q);
    }
    std::vector<MqttMessage> TakeIncoming() override { return target_->TakeIncoming(); }
    uint32_t Connections() const override { return target_->Connections(); }
    bool IsConnected() const override { return target_->IsConnected(); }
    void Close() override { target_->Close(); }

private:
    FakeLink *target_;
};

}  // namespace testutil
