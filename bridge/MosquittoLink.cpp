// MqttLink on libmosquitto. The library's network loop runs on a thread of this object:
// first the connection attempts with back-off (the library's own thread does not retry a
// first connection that fails), then the library's loop, which reconnects by itself.
#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <ostream>
#include <set>
#include <thread>

#include "bridge/MqttLink.h"

namespace {

constexpr unsigned kRetryFirstS = 1;
constexpr unsigned kRetryMaxS = 30;
constexpr size_t kMaxIncoming = 1000;  // a flood of set messages must not eat the memory
constexpr auto kCloseWait = std::chrono::seconds(3);

class LibraryUse {
public:
    LibraryUse() { mosquitto_lib_init(); }
    ~LibraryUse() { mosquitto_lib_cleanup(); }
};

class MosquittoLink : public MqttLink {
public:
    MosquittoLink(const MqttLinkSettings &settings, std::ostream &log) : settings_(settings), log_(log)
    {
        static LibraryUse library;
        mosq_ = mosquitto_new(settings.ClientId.c_str(), true, this);
        if (mosq_ == nullptr)
            return;
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_threaded_set(mosq_, true);
        mosquitto_will_set(mosq_, settings.WillTopic.c_str(), int(settings.WillPayload.size()),
                           settings.WillPayload.data(), 1, true);
        if (!settings.Username.empty())
            mosquitto_username_pw_set(mosq_, settings.Username.c_str(), settings.Password.c_str());
        if (!settings.TlsCaFile.empty()) {
            const int rc = mosquitto_tls_set(mosq_, settings.TlsCaFile.c_str(), nullptr, nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS)
                Log(std::string("TLS set-up failed: ") + mosquitto_strerror(rc));
        }
        mosquitto_reconnect_delay_set(mosq_, kRetryFirstS, kRetryMaxS, true);
        mosquitto_connect_callback_set(mosq_, &OnConnect);
        mosquitto_disconnect_callback_set(mosq_, &OnDisconnect);
        mosquitto_message_callback_set(mosq_, &OnMessage);
        mosquitto_publish_callback_set(mosq_, &OnPublish);
        thread_ = std::thread([this] { NetworkLoop(); });
    }

    ~MosquittoLink() override
    {
        Stop();
        if (mosq_ != nullptr)
            mosquitto_destroy(mosq_);
    }

    bool Publish(const std::string &topic, const std::string &payload, bool retain, int qos) override
    {
        if (!connected_.load())
            return false;
        // Under the lock, so that the acknowledgement cannot be counted before the message.
        std::lock_guard<std::mutex> lock(mutex_);
        int mid = 0;
        const int rc = mosquitto_publish(mosq_, &mid, topic.c_str(), int(payload.size()), payload.data(), qos, retain);
        if (rc != MOSQ_ERR_SUCCESS)
            return false;
        if (qos > 0)
            unacknowledged_.insert(mid);
        return true;
    }

    std::vector<MqttMessage> TakeIncoming() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<MqttMessage> taken(std::make_move_iterator(incoming_.begin()),
                                       std::make_move_iterator(incoming_.end()));
        incoming_.clear();
        return taken;
    }

    uint32_t Connections() const override { return connections_.load(); }
    bool IsConnected() const override { return connected_.load(); }

    void Close() override
    {
        if (mosq_ == nullptr)
            return;
        {
            // Give the broker the time to take what is in flight (the "offline" status).
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait_for(lock, kCloseWait, [this] { return unacknowledged_.empty() || !connected_.load(); });
        }
        Stop();
    }

private:
    void Log(const std::string &text)
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        log_ << ("quintavolte-cli: mqtt: " + text + "\n") << std::flush;
    }

    // Connect attempts with back-off until the first succeeds, then the library's loop.
    void NetworkLoop()
    {
        unsigned delay = kRetryFirstS;
        std::string lastError;
        while (!stopping_.load()) {
            const int rc = mosquitto_connect_async(mosq_, settings_.Host.c_str(), settings_.Port, settings_.KeepAliveS);
            if (rc == MOSQ_ERR_SUCCESS)
                break;
            const std::string why = rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc);
            if (why != lastError)
                Log("cannot reach the broker " + settings_.Host + ":" + std::to_string(settings_.Port) + ": " + why +
                    "; trying again");
            lastError = why;
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait_for(lock, std::chrono::seconds(delay), [this] { return stopping_.load(); });
            delay = std::min(delay * 2, kRetryMaxS);
        }
        // Returns only when Stop disconnects; it reconnects by itself meanwhile.
        while (!stopping_.load()) {
            mosquitto_loop_forever(mosq_, 1000, 1);
            std::unique_lock<std::mutex> lock(mutex_);
            if (changed_.wait_for(lock, std::chrono::seconds(kRetryFirstS), [this] { return stopping_.load(); }))
                break;
            lock.unlock();
            mosquitto_reconnect_async(mosq_);
        }
    }

    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_.exchange(true) && !thread_.joinable())
                return;
        }
        changed_.notify_all();
        if (mosq_ != nullptr)
            mosquitto_disconnect(mosq_);
        if (thread_.joinable())
            thread_.join();
        connected_.store(false);
    }

    static MosquittoLink *Self(void *obj) { return static_cast<MosquittoLink *>(obj); }

    static void OnConnect(mosquitto *mosq, void *obj, int rc)
    {
        MosquittoLink *self = Self(obj);
        if (rc != 0) {
            // Said once per reason: the library keeps trying with back-off.
            const std::string why = mosquitto_connack_string(rc);
            if (why != self->lastRefusal_)
                self->Log("the broker refused the connection: " + why + "; trying again");
            self->lastRefusal_ = why;
            return;
        }
        self->lastRefusal_.clear();
        mosquitto_subscribe(mosq, nullptr, self->settings_.Subscription.c_str(), 1);
        self->connected_.store(true);
        self->connections_.fetch_add(1);
        self->Log("connected to " + self->settings_.Host + ":" + std::to_string(self->settings_.Port));
    }

    static void OnDisconnect(mosquitto *, void *obj, int rc)
    {
        MosquittoLink *self = Self(obj);
        const bool was = self->connected_.exchange(false);
        self->changed_.notify_all();
        if (was && rc != 0)
            self->Log("lost the broker; reconnecting");
    }

    static void OnPublish(mosquitto *, void *obj, int mid)
    {
        MosquittoLink *self = Self(obj);
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->unacknowledged_.erase(mid);
        }
        self->changed_.notify_all();
    }

    static void OnMessage(mosquitto *, void *obj, const mosquitto_message *message)
    {
        MosquittoLink *self = Self(obj);
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (self->incoming_.size() >= kMaxIncoming)
            return;
        MqttMessage m;
        m.Topic = message->topic;
        if (message->payloadlen > 0)
            m.Payload.assign(static_cast<const char *>(message->payload), size_t(message->payloadlen));
        m.Retained = message->retain;
        self->incoming_.push_back(std::move(m));
    }

    MqttLinkSettings settings_;
    std::ostream &log_;
    mosquitto *mosq_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;  // incoming_, unacknowledged_, and the waits
    std::mutex logMutex_;
    std::condition_variable changed_;
    std::deque<MqttMessage> incoming_;
    std::string lastRefusal_;  // the network thread's own
    std::set<int> unacknowledged_;  // message ids of QoS 1 messages not yet acknowledged
    std::atomic<bool> stopping_{false};
    std::atomic<bool> connected_{false};
    std::atomic<uint32_t> connections_{0};
};

}  // namespace

std::unique_ptr<MqttLink> MakeMosquittoLink(const MqttLinkSettings &settings, std::ostream &log)
{
    return std::make_unique<MosquittoLink>(settings, log);
}
