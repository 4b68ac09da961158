// MqttLink on libmosquitto. The network work runs on a thread of this object, which owns
// the whole connection cycle: connect, run the library's loop until the connection ends,
// say why it ended (each reason once until a connection succeeds), wait with back-off,
// and connect again. MQTT 5 is spoken where the broker offers it, 3.1.1 elsewhere; under
// MQTT 5 the broker says why it refused a message or a subscription (an access rule) and
// why it ended a session, and each of those is logged once.
//
// With TLS asked for, the certificate authorities are taken from the text read at start
// into a context of our own, which the library uses for every connection; when that
// context cannot be made, no connection is attempted at all, so the password never goes
// out in clear.
#include <sys/eventfd.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <ostream>
#include <map>
#include <set>
#include <thread>

#include "bridge/BridgeLog.h"
#include "bridge/MqttLink.h"

namespace {

constexpr unsigned kRetryFirstS = 1;
constexpr size_t kMaxIncoming = 1000;  // a flood of set messages must not eat the memory
constexpr size_t kMaxTopic = 512;      // longer topics name nothing the bridge knows
constexpr int kLoopWaitMs = 1000;
constexpr auto kCloseWait = std::chrono::seconds(3);

class LibraryUse {
public:
    LibraryUse() { mosquitto_lib_init(); }
    ~LibraryUse() { mosquitto_lib_cleanup(); }
};

bool IsIpAddress(const std::string &host)
{
    unsigned char buf[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// The first error OpenSSL has queued, as text; the queue is emptied.
std::string OpenSslError()
{
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0)
        return {};
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    return buf;
}

// The client's own certificate (and the chain after it) and private key, from the texts
// read at start. False with the reason in *why.
bool UseClientCertificate(SSL_CTX *ctx, const MqttLinkSettings &s, std::string *why)
{
    BIO *bio = BIO_new_mem_buf(s.TlsCertPem.data(), int(s.TlsCertPem.size()));
    X509 *cert = bio != nullptr ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr;
    bool ok = cert != nullptr && SSL_CTX_use_certificate(ctx, cert) == 1;
    X509_free(cert);
    while (ok) {
        X509 *extra = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
        if (extra == nullptr)
            break;
        if (SSL_CTX_add0_chain_cert(ctx, extra) != 1)
            X509_free(extra);
    }
    BIO_free(bio);
    ERR_clear_error();  // the end of the text reads as an error
    if (!ok) {
        *why = "the certificate file " + s.TlsCertFile + " holds no usable certificate";
        return false;
    }
    bio = BIO_new_mem_buf(s.TlsKeyPem.data(), int(s.TlsKeyPem.size()));
    // No pass phrase is asked for: a service has nobody to ask.
    EVP_PKEY *key = bio != nullptr ? PEM_read_bio_PrivateKey(
                                         bio, nullptr, [](char *, int, int, void *) { return 0; }, nullptr)
                                   : nullptr;
    BIO_free(bio);
    if (key == nullptr) {
        ERR_clear_error();
        *why = "the key file " + s.TlsKeyFile +
               " holds no usable private key (one protected by a pass phrase "
               "cannot be used)";
        return false;
    }
    ok = SSL_CTX_use_PrivateKey(ctx, key) == 1 && SSL_CTX_check_private_key(ctx) == 1;
    EVP_PKEY_free(key);
    if (!ok) {
        ERR_clear_error();
        *why = "the key in " + s.TlsKeyFile + " does not belong to the certificate in " + s.TlsCertFile;
        return false;
    }
    return true;
}

// A client context that trusts exactly the certificates in pem and checks that the
// broker's certificate names host, with the client's certificate when one is given.
// Null with the reason in *why.
SSL_CTX *MakeTlsContext(const MqttLinkSettings &s, std::string *why)
{
    const std::string &pem = s.TlsCaPem;
    const std::string &file = s.TlsCaFile;
    const std::string &host = s.Host;
    SSL_CTX *ctx = SSL_CTX_new(TLS_client_method());
    if (ctx == nullptr) {
        *why = "cannot make a TLS context: " + OpenSslError();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    X509_STORE *store = SSL_CTX_get_cert_store(ctx);
    BIO *bio = BIO_new_mem_buf(pem.data(), int(pem.size()));
    int added = 0;
    while (bio != nullptr) {
        X509 *cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
        if (cert == nullptr)
            break;
        added += X509_STORE_add_cert(store, cert) == 1 ? 1 : 0;
        X509_free(cert);
    }
    BIO_free(bio);
    ERR_clear_error();  // the end of the text reads as an error
    if (added == 0) {
        *why = "the certificate file " + file + " holds no usable certificate";
        SSL_CTX_free(ctx);
        return nullptr;
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    X509_VERIFY_PARAM *param = SSL_CTX_get0_param(ctx);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const int named = IsIpAddress(host) ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                                        : X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    if (named != 1) {
        *why = "cannot check the broker's certificate against " + host;
        SSL_CTX_free(ctx);
        return nullptr;
    }
    if (!s.TlsCertFile.empty() && !UseClientCertificate(ctx, s, why)) {
        SSL_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

class MosquittoLink : public MqttLink {
public:
    MosquittoLink(const MqttLinkSettings &settings, std::ostream &log) : settings_(settings), log_(log)
    {
        static LibraryUse library;
        eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        mosq_ = mosquitto_new(settings.ClientId.c_str(), true, this);
        if (mosq_ == nullptr) {
            Log("cannot make an MQTT client");
            return;
        }
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, protocol_);
        mosquitto_threaded_set(mosq_, true);
        mosquitto_will_set(mosq_, settings.WillTopic.c_str(), int(settings.WillPayload.size()),
                           settings.WillPayload.data(), 1, true);
        if (!settings.Username.empty())
            mosquitto_username_pw_set(mosq_, settings.Username.c_str(), settings.Password.c_str());
        mosquitto_connect_v5_callback_set(mosq_, &OnConnect);
        mosquitto_disconnect_v5_callback_set(mosq_, &OnDisconnect);
        mosquitto_message_callback_set(mosq_, &OnMessage);
        mosquitto_publish_v5_callback_set(mosq_, &OnPublish);
        mosquitto_subscribe_v5_callback_set(mosq_, &OnSubscribe);
        mosquitto_log_callback_set(mosq_, &OnLibraryLog);
        thread_ = std::thread([this] { NetworkLoop(); });
    }

    ~MosquittoLink() override
    {
        Stop();
        if (mosq_ != nullptr)
            mosquitto_destroy(mosq_);
        if (eventFd_ >= 0)
            ::close(eventFd_);
    }

    int EventFd() const override { return eventFd_; }

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
            unacknowledged_.emplace(mid, topic);  // to name the topic if the broker refuses it
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
        log_ << BridgeLogLine(text) << std::flush;
    }

    // A reason the broker cannot be used, said once until a connection succeeds.
    void Report(const std::string &why, unsigned delayS)
    {
        if (!reported_.insert(why).second)
            return;
        Log(why + "; trying again in " + std::to_string(delayS) + " s, then less often");
    }

    // Waits, unless the link is stopping; true when it is.
    bool Pause(unsigned seconds)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_.load(); });
    }

    bool SetUpTls(std::string *why)
    {
        SSL_CTX *ctx = MakeTlsContext(settings_, why);
        if (ctx == nullptr)
            return false;
        // The library takes its own reference; its defaults would load the file again.
        mosquitto_int_option(mosq_, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        const int rc = mosquitto_void_option(mosq_, MOSQ_OPT_SSL_CTX, ctx);
        SSL_CTX_free(ctx);
        if (rc != MOSQ_ERR_SUCCESS) {
            *why = std::string("the MQTT library cannot use TLS: ") + mosquitto_strerror(rc);
            return false;
        }
        return true;
    }

    // Why the last attempt or connection ended, in words.
    std::string Reason(int rc, int savedErrno)
    {
        const std::string where = "the broker " + settings_.Host + ":" + std::to_string(settings_.Port);
        if (!refusal_.empty())
            return where + " refused the connection: " + refusal_;
        if (brokerReason_ != 0) {
            std::string why = where + " ended the session: " + mosquitto_reason_string(brokerReason_);
            if (brokerReason_ == MQTT_RC_SESSION_TAKEN_OVER)
                why += " (another client uses the client id " + settings_.ClientId + ")";
            return why;
        }
        std::string detail;
        {
            std::lock_guard<std::mutex> lock(errorMutex_);
            detail = libraryError_;
        }
        std::string why;
        if (rc == MOSQ_ERR_ERRNO)
            why = savedErrno == EPROTO && !settings_.TlsCaFile.empty() ? "the TLS handshake failed"
                                                                       : std::string(std::strerror(savedErrno));
        else if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE)
            why = "the TLS handshake failed";
        else if (rc == MOSQ_ERR_CONN_LOST && settings_.TlsCaFile.empty() && !sessionUp_)
            why = "the connection was closed before the broker answered (does it want TLS?)";
        else
            why = mosquitto_strerror(rc);
        if (!detail.empty())
            why += " (" + detail + ")";
        return "cannot use " + where + ": " + why;
    }

    void NetworkLoop()
    {
        unsigned delay = kRetryFirstS;
        const bool tls = !settings_.TlsCaFile.empty();
        bool tlsReady = false;
        while (!stopping_.load()) {
            std::string why;
            if (tls && !tlsReady && !(tlsReady = SetUpTls(&why))) {
                Report("TLS cannot be set up: " + why + "; not connecting without it", delay);
                if (Pause(delay))
                    break;
                delay = std::min(delay * 2, std::max(settings_.RetryMaxS, kRetryFirstS));
                continue;
            }
            refusal_.clear();
            brokerReason_ = 0;
            fallBack_ = false;
            sessionUp_ = false;
            {
                std::lock_guard<std::mutex> lock(errorMutex_);
                libraryError_.clear();
            }
            int rc = mosquitto_connect_async(mosq_, settings_.Host.c_str(), settings_.Port, settings_.KeepAliveS);
            int savedErrno = errno;
            while (rc == MOSQ_ERR_SUCCESS && !stopping_.load()) {
                rc = mosquitto_loop(mosq_, kLoopWaitMs, 1);
                savedErrno = errno;
            }
            if (stopping_.load())
                break;
            if (fallBack_) {
                // An older broker: the same connection in the protocol it knows, at once.
                protocol_ = MQTT_PROTOCOL_V311;
                mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, protocol_);
                Log("the broker does not offer MQTT 5; using 3.1.1, where a retained set cannot be told from a "
                    "fresh one");
                continue;
            }
            if (sessionUp_) {
                // Only a session that lasted starts the back-off afresh: a broker that ends
                // every session at once is tried less and less often, and said so once.
                const bool steady =
                    std::chrono::steady_clock::now() - sessionStart_ >= std::chrono::seconds(settings_.kSteadySessionS);
                std::string why = Reason(rc, savedErrno);
                // Some brokers close a session taken over without a word.
                if (!steady && brokerReason_ == 0 && rc == MOSQ_ERR_CONN_LOST)
                    why += " (a session this short: does another client use the client id " + settings_.ClientId + "?)";
                if (steady)
                    delay = kRetryFirstS;
                if (steady || why != lastLoss_)
                    Log("lost the broker: " + why +
                        (steady ? std::string("; reconnecting")
                                : "; reconnecting in " + std::to_string(delay) +
                                      " s, and less often while sessions stay this short"));
                lastLoss_ = why;
                reported_.clear();
                reported_.insert(why);
            } else {
                Report(Reason(rc, savedErrno), delay);
            }
            if (Pause(delay))
                break;
            delay = std::min(delay * 2, std::max(settings_.RetryMaxS, kRetryFirstS));
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

    // On the network thread.
    static void OnConnect(mosquitto *mosq, void *obj, int rc, int, const mosquitto_property *)
    {
        MosquittoLink *self = Self(obj);
        if (rc != 0) {
            if (self->protocol_ == MQTT_PROTOCOL_V5 &&
                (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || rc == CONNACK_REFUSED_PROTOCOL_VERSION))
                self->fallBack_ = true;
            else
                self->refusal_ =
                    self->protocol_ == MQTT_PROTOCOL_V5 ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc);
            return;
        }
        const MqttLinkSettings &s = self->settings_;
        if (self->protocol_ == MQTT_PROTOCOL_V5) {
            // A set is never sent from the broker's store, and one published retained says so.
            // QoS 1 for the store too: a refusal comes back with the granted QoS of the answer.
            int mid = 0;
            if (mosquitto_subscribe_v5(mosq, &mid, s.Subscription.c_str(), 1,
                                       MQTT_SUB_OPT_RETAIN_AS_PUBLISHED | MQTT_SUB_OPT_SEND_RETAIN_NEVER,
                                       nullptr) == MOSQ_ERR_SUCCESS)
                self->subscriptions_[mid] = s.Subscription;
            if (!s.StoreSubscription.empty() &&
                mosquitto_subscribe_v5(mosq, &mid, s.StoreSubscription.c_str(), 1, MQTT_SUB_OPT_NO_LOCAL, nullptr) ==
                    MOSQ_ERR_SUCCESS)
                self->subscriptions_[mid] = s.StoreSubscription;
        } else {
            int mid = 0;
            if (mosquitto_subscribe(mosq, &mid, s.Subscription.c_str(), 1) == MOSQ_ERR_SUCCESS)
                self->subscriptions_[mid] = s.Subscription;
            if (!s.StoreSubscription.empty() &&
                mosquitto_subscribe(mosq, &mid, s.StoreSubscription.c_str(), 1) == MOSQ_ERR_SUCCESS)
                self->subscriptions_[mid] = s.StoreSubscription;
        }
        self->sessionUp_ = true;
        self->sessionStart_ = std::chrono::steady_clock::now();
        self->reported_.clear();
        self->connected_.store(true);
        self->connections_.fetch_add(1);
        self->Signal();
        self->Log("connected to " + s.Host + ":" + std::to_string(s.Port) +
                  (self->protocol_ == MQTT_PROTOCOL_V5 ? " (MQTT 5)" : " (MQTT 3.1.1)"));
    }

    // rc is the broker's reason when it sent one (MQTT 5: 0x80 and above), else the library's.
    static void OnDisconnect(mosquitto *, void *obj, int rc, const mosquitto_property *)
    {
        MosquittoLink *self = Self(obj);
        if (rc >= 0x80)
            self->brokerReason_ = rc;
        self->connected_.store(false);
        self->changed_.notify_all();
    }

    // The reason the broker gave, with its own words when it sent some.
    static std::string Refusal(int reason, const mosquitto_property *props)
    {
        std::string why = mosquitto_reason_string(reason);
        char *text = nullptr;
        if (mosquitto_property_read_string(props, MQTT_PROP_REASON_STRING, &text, false) != nullptr &&
            text != nullptr) {
            why += std::string(" (") + std::string(text).substr(0, 200) + ")";
            std::free(text);
        }
        return why;
    }

    static void OnPublish(mosquitto *, void *obj, int mid, int reason, const mosquitto_property *props)
    {
        MosquittoLink *self = Self(obj);
        std::string topic;
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            if (const auto it = self->unacknowledged_.find(mid); it != self->unacknowledged_.end()) {
                topic = it->second;
                self->unacknowledged_.erase(it);
            }
        }
        self->changed_.notify_all();
        // Said once per topic: an access rule refuses the same topic every time.
        if (reason >= 0x80 && !topic.empty() && self->refusedTopics_.insert(topic).second)
            self->Log("the broker refused the message to " + topic + ": " + Refusal(reason, props));
    }

    static void OnSubscribe(mosquitto *, void *obj, int mid, int count, const int *granted,
                            const mosquitto_property *props)
    {
        MosquittoLink *self = Self(obj);
        const auto it = self->subscriptions_.find(mid);
        if (it == self->subscriptions_.end())
            return;
        const std::string filter = it->second;
        self->subscriptions_.erase(it);
        for (int i = 0; i < count; ++i)
            if (granted[i] >= 0x80 && self->refusedTopics_.insert("subscription " + filter).second)
                self->Log("the broker refused the subscription to " + filter + ": " + Refusal(granted[i], props) +
                          "; nothing published there reaches the bridge");
    }

    static void OnLibraryLog(mosquitto *, void *obj, int level, const char *text)
    {
        if (level != MOSQ_LOG_ERR || text == nullptr)
            return;
        MosquittoLink *self = Self(obj);
        std::lock_guard<std::mutex> lock(self->errorMutex_);  // the library may log inside Publish
        // The first error of an attempt says most ("certificate verify failed").
        if (self->libraryError_.empty())
            self->libraryError_ = std::string(text).substr(0, 200);
    }

    static void OnMessage(mosquitto *, void *obj, const mosquitto_message *message)
    {
        MosquittoLink *self = Self(obj);
        const size_t topicLength = std::strlen(message->topic);
        std::lock_guard<std::mutex> lock(self->mutex_);
        if (topicLength > kMaxTopic)
            return;
        if (self->incoming_.size() >= kMaxIncoming) {
            // Full: a newer set of a name still makes room for itself, in place of the
            // oldest one of that name, which it would replace anyway.
            const std::string_view topic(message->topic, topicLength);
            const auto older = std::find_if(self->incoming_.begin(), self->incoming_.end(),
                                            [&](const MqttMessage &m) { return m.Topic == topic; });
            if (older == self->incoming_.end())
                return;
            self->incoming_.erase(older);
        }
        MqttMessage m;
        m.Topic.assign(message->topic, topicLength);
        m.Size = message->payloadlen > 0 ? size_t(message->payloadlen) : 0;
        m.Payload.assign(static_cast<const char *>(message->payload), std::min(m.Size, MqttMessage::kKeptPayload));
        // Under MQTT 5 the flag is as published (nothing stored is sent for a set); under
        // 3.1.1 it marks a message sent from the store.
        if (self->protocol_ == MQTT_PROTOCOL_V5)
            m.Retained = message->retain;
        else
            m.Replayed = message->retain;
        self->incoming_.push_back(std::move(m));
        self->Signal();
    }

    // Wakes the device loop: there is something to take.
    void Signal()
    {
        if (eventFd_ >= 0) {
            uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(eventFd_, &one, sizeof one);
        }
    }

    MqttLinkSettings settings_;
    std::ostream &log_;
    mosquitto *mosq_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;       // incoming_, unacknowledged_, and the waits
    std::mutex errorMutex_;  // libraryError_
    std::mutex logMutex_;
    std::condition_variable changed_;
    std::deque<MqttMessage> incoming_;
    std::map<int, std::string> unacknowledged_;  // QoS 1 messages not yet acknowledged: id, topic
    std::string libraryError_;
    // The network thread's own (the callbacks run on it).
    std::atomic<int> protocol_{MQTT_PROTOCOL_V5};
    std::string refusal_;
    int brokerReason_ = 0;  // the reason of the broker's DISCONNECT, 0 when none came
    bool fallBack_ = false;
    bool sessionUp_ = false;
    std::chrono::steady_clock::time_point sessionStart_;
    std::string lastLoss_;                      // why the last session ended
    std::map<int, std::string> subscriptions_;  // subscriptions not yet answered: id, filter
    std::set<std::string> refusedTopics_;       // what a refusal was logged for
    std::set<std::string> reported_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> connected_{false};
    std::atomic<uint32_t> connections_{0};
    int eventFd_ = -1;
};

}  // namespace

std::unique_ptr<MqttLink> MakeMosquittoLink(const MqttLinkSettings &settings, std::ostream &log)
{
    return std::make_unique<MosquittoLink>(settings, log);
}
