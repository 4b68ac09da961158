// What the MQTT side of the bridge sustains: rounds of 120 retained value messages through
// the bridge's broker link to Debian's broker on loopback, until a subscriber has them all.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>

#include "bridge/MqttLink.h"
#include "bridge/MqttTestUtil.h"
#include "device/RegisterMap.h"
#include "values/MString.h"

namespace {

// The broker's configuration lives in a directory of its own, removed at the end.
class ScratchDir {
public:
    ScratchDir()
    {
        char dir[] = "/tmp/qv-bench-broker-XXXXXX";
        if (mkdtemp(dir) != nullptr)
            path_ = dir;
    }
    ~ScratchDir()
    {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

void BM_PublishRoundOf120Values(benchmark::State &state)
{
    ScratchDir dir;
    testutil::Broker broker(dir.Path());
    if (!broker.Start()) {
        state.SkipWithError(("no broker: " + broker.Stderr()).c_str());
        return;
    }
    testutil::Subscriber counter(broker.Port(), "bench/#");
    MqttLinkSettings s;
    s.Host = "127.0.0.1";
    s.Port = broker.Port();
    s.ClientId = "qv-bench";
    s.WillTopic = "bench/dev/status";
    s.WillPayload = "offline";
    s.Subscription = "bench/dev/set/+";
    std::ostringstream log;
    auto link = MakeMosquittoLink(s, log);
    for (int i = 0; i < 500 && !link->IsConnected(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the counter's subscription
    if (!link->IsConnected()) {
        state.SkipWithError(("no broker: " + log.str()).c_str());
        return;
    }
    std::vector<std::string> topics;
    for (const MbVariableRow &row : DeviceRegisterMap())
        topics.push_back("bench/dev/" + MString(row.Name).ToUtf8());
    long expected = long(counter.Size());
    long lost = 0;
    int round = 0;
    for (auto _ : state) {
        ++round;
        for (const std::string &t : topics)
            link->Publish(t, std::to_string(round) + ".12345", true, 0);
        expected += long(topics.size());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (long(counter.Size()) < expected && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        lost += expected - long(counter.Size());
        expected = long(counter.Size());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(topics.size()));
    state.counters["lost"] = double(lost);
    link->Close();
}
BENCHMARK(BM_PublishRoundOf120Values)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
