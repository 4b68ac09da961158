// The bridge's one seam to the broker: publish, the messages received, and whether (and
// how many times) the connection has come up. The device loop calls it; an implementation
// does its network work on a thread of its own and never blocks these calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct MqttMessage {
    std::string Topic;
    std::string Payload;    // received: at most kKeptPayload bytes of it
    bool Retained = false;  // the publisher asked the broker to keep it (seen under MQTT 5)
    bool Replayed = false;  // received: sent from the broker's store, not as it was published
    size_t Size = 0;        // received: the payload's full length in bytes

    // A received payload is cut to this many bytes on arrival: nothing the bridge takes
    // in needs more, and a flood of large messages must not fill the memory.
    static constexpr size_t kKeptPayload = 128;
};

// What a connection needs to know before it is made.
struct MqttLinkSettings {
    std::string Host;
    int Port = 1883;
    std::string ClientId;
    std::string Username;
    std::string Password;
    std::string TlsCaFile;    // for messages; the certificates are TlsCaPem
    std::string TlsCaPem;     // read once at start; TLS is wanted when TlsCaFile is set
    std::string TlsCertFile;  // the client's certificate for brokers that ask for one (may be empty)
    std::string TlsCertPem;
    std::string TlsKeyFile;  // its private key
    std::string TlsKeyPem;
    std::string WillTopic;  // receives WillPayload, retained, when the link dies
    std::string WillPayload;
    std::string Subscription;       // subscribed again on every connection; nothing stored is sent
    std::string StoreSubscription;  // also subscribed, with what the broker keeps (may be empty)
    int KeepAliveS = 30;
    // The back-off between attempts doubles from 1 s up to this; it starts again from 1 s
    // only after a connection that lasted kSteadySessionS, so that a broker that ends every
    // session at once (another client with the same id) is not hammered.
    unsigned RetryMaxS = 30;
    static constexpr unsigned kSteadySessionS = 60;
};

class MqttLink {
public:
    virtual ~MqttLink() = default;
    // Queues a message; false when the broker is not connected (the message is dropped).
    virtual bool Publish(const std::string &topic, const std::string &payload, bool retain, int qos) = 0;
    // Messages received since the last call, in order of arrival.
    virtual std::vector<MqttMessage> TakeIncoming() = 0;
    // Counts the connections made so far: a new value means a fresh connection, after
    // which everything retained has to be published again.
    virtual uint32_t Connections() const = 0;
    virtual bool IsConnected() const = 0;
    // A descriptor that becomes readable when a message arrived or a connection came up,
    // for a loop that sleeps until there is work; read it to reset it. -1 when there is
    // none (the loop then looks again within its own bound).
    virtual int EventFd() const { return -1; }
    // Waits (bounded) until what was queued is sent, then disconnects without the last will.
    virtual void Close() = 0;
};

std::unique_ptr<MqttLink> MakeMosquittoLink(const MqttLinkSettings &settings, std::ostream &log);
