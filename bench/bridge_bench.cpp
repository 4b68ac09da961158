// What the MQTT side of the bridge sustains: rounds of 120 retained value messages through
// the bridge's broker link to Debian's broker on loopback, until a subscriber has them all.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "bridge/MqttLink.h"
#include "device/RegisterMap.h"
#include "values/MString.h"

extern char **environ;

namespace {

int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

bool Accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

class BrokerProcess {
public:
    BrokerProcess()
    {
        port_ = FreePort();
        char dir[] = "/tmp/qv-bench-broker-XXXXXX";
        conf_ = std::string(mkdtemp(dir)) + "/broker.conf";
        std::ofstream(conf_) << "listener " << port_ << " 127.0.0.1\n"
                             << "allow_anonymous true\npersistence false\nlog_dest none\n";
        const char *argv[] = {MOSQUITTO_BROKER_PATH, "-c", conf_.c_str(), nullptr};
        posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char **>(argv), environ);
        for (int i = 0; i < 500 && !Accepts(port_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~BrokerProcess()
    {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::remove(conf_.c_str());
        rmdir(conf_.substr(0, conf_.rfind('/')).c_str());
    }
    int Port() const { return port_; }

private:
    int port_ = 0;
    pid_t pid_ = -1;
    std::string conf_;
};

// Counts the messages that arrive.
class Counter {
public:
    explicit Counter(int port)
    {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(mosq_, [](mosquitto *, void *self, const mosquitto_message *) {
            static_cast<Counter *>(self)->count.fetch_add(1);
        });
        mosquitto_connect(mosq_, "127.0.0.1", port, 30);
        mosquitto_subscribe(mosq_, nullptr, "bench/#", 0);
        mosquitto_loop_start(mosq_);
    }
    ~Counter()
    {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
    std::atomic<long> count{0};

private:
    mosquitto *mosq_ = nullptr;
};

void BM_PublishRoundOf120Values(benchmark::State &state)
{
    BrokerProcess broker;
    Counter counter(broker.Port());
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
    long expected = counter.count.load();
    long lost = 0;
    int round = 0;
    for (auto _ : state) {
        ++round;
        for (const std::string &t : topics)
            link->Publish(t, std::to_string(round) + ".12345", true, 0);
        expected += long(topics.size());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (counter.count.load() < expected && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        lost += expected - counter.count.load();
        expected = counter.count.load();
    }
    state.SetItemsProcessed(state.iterations() * int64_t(topics.size()));
    state.counters["lost"] = double(lost);
    link->Close();
}
BENCHMARK(BM_PublishRoundOf120Values)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
