// A private broker on a free loopback port and a subscriber on libmosquitto, for the
// end-to-end tests of the bridge and its benchmark (so nothing here needs the test framework).
#pragma once

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/MqttLink.h"
#include "device/ChildProcess.h"
#include "testkit/Wait.h"

namespace testutil {

using testkit::WaitUntil;

// A port that nothing listens on now (the kernel's choice, so parallel tests differ).
inline int FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

inline bool Accepts(int port)
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

// Debian's broker with a configuration of its own: loopback only, anonymous, nothing kept.
class Broker {
public:
    explicit Broker(std::string dir) : dir_(std::move(dir)) {}
    ~Broker() { Stop(); }

    // Starts on the given port, or on a free one when port is 0; true once it listens.
    // Lines added to the configuration (TLS, logins).
    void AddConfig(const std::string &lines) { extra_ += lines; }

    bool Start(int port = 0)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = port != 0 ? port : FreeLoopbackPort();
            const std::string conf = dir_ + "/broker.conf";
            // Started by root the broker would become another user, who cannot read the
            // test's private files; it stays the test's own user.
            const passwd *self = getpwuid(getuid());
            std::ofstream(conf) << "listener " << port_ << " 127.0.0.1\npersistence false\n"
                                << "user " << (self != nullptr ? self->pw_name : "root") << "\n"
                                << (extra_.empty() ? "allow_anonymous true\n" : extra_);
            if (!proc_.Start({MOSQUITTO_BROKER_PATH, "-c", conf}))
                return false;
            if (WaitUntil([&] { return Accepts(port_); }, 5000))
                return true;
            proc_.Stop();  // the port was taken meanwhile, or the old broker still held it
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }
    void Stop() { proc_.Stop(); }
    int Port() const { return port_; }
    std::string Stderr() const { return proc_.Stderr(); }

private:
    std::string dir_;
    std::string extra_;
    int port_ = 0;
    ChildProcess proc_;
};

// Subscribes to a filter (again after every reconnection) and keeps every message.
class Subscriber {
public:
    // Optionally over TLS (caFile) and logged in (user, password).
    Subscriber(int port, std::string filter, const std::string &caFile = {}, const std::string &user = {},
               const std::string &password = {})
        : filter_(std::move(filter))
    {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        if (!caFile.empty())
            mosquitto_tls_set(mosq_, caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (!user.empty())
            mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
        mosquitto_connect_callback_set(mosq_, [](mosquitto *m, void *self, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<Subscriber *>(self)->filter_.c_str(), 1);
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto *, void *self, const mosquitto_message *msg) {
            auto *s = static_cast<Subscriber *>(self);
            std::lock_guard<std::mutex> lock(s->mutex_);
            const std::string payload(static_cast<const char *>(msg->payload), size_t(msg->payloadlen));
            s->messages_.push_back(MqttMessage{msg->topic, payload, msg->retain});
            s->arrived_.notify_all();
        });
        mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
        connected_ = mosquitto_connect(mosq_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
                     mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
    }
    ~Subscriber()
    {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
        mosquitto_lib_cleanup();
    }
    bool Connected() const { return connected_; }

    void Publish(const std::string &topic, const std::string &payload, bool retain = false)
    {
        mosquitto_publish(mosq_, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1, retain);
    }

    // Waits for a message (from the from-th on) on the topic with the payload; returns its
    // index, or -1 when none came within the bound.
    int WaitFor(const std::string &topic, const std::string &payload, int timeoutMs, size_t from = 0)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        int found = -1;
        arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (size_t i = from; i < messages_.size(); ++i)
                if (messages_[i].Topic == topic && messages_[i].Payload == payload) {
                    found = int(i);
                    return true;
                }
            return false;
        });
        return found;
    }
    std::vector<MqttMessage> Messages()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    size_t Size()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_.size();
    }
    // Everything received, one "topic payload" line each, for failure messages.
    std::string Dump()
    {
        std::string text;
        for (const MqttMessage &m : Messages())
            text += m.Topic + " " + m.Payload + (m.Retained ? " (retained)\n" : "\n");
        return text;
    }

private:
    std::string filter_;
    mosquitto *mosq_ = nullptr;
    bool connected_ = false;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<MqttMessage> messages_;
};

}  // namespace testutil
