// Options of the MQTT bridge (the mqtt command of quintavolte-cli), parsed and checked
// against the register map before anything connects.
#pragma once

#include <string>
#include <vector>

#include "bridge/WriteQueue.h"
#include "device/LinkOptions.h"

struct BridgeOptions {
    std::string Host;  // broker host name or address
    int Port = 0;      // 0: 1883, or 8883 with TLS
    std::string Prefix = "quintavolte";
    int IntervalMs = 1000;              // one read of every published variable per interval
    std::vector<std::string> Names;     // published variables, register-map order
    std::vector<std::string> Writable;  // names a set message may write
    std::string ClientId;               // empty: "quintavolte-<device id>"
    std::string Username;
    std::string Password;  // the first line of --password-file
    std::string TlsCaFile;
    std::string TlsCaPem;     // the file's text, read once at start
    std::string TlsCertFile;  // --tls-cert: the client's certificate, for brokers that ask for one
    std::string TlsCertPem;
    std::string TlsKeyFile;  // --tls-key: its private key
    std::string TlsKeyPem;
    bool English = true;     // --lang: the words of choices offered by discovery
    bool Discovery = false;  // --ha-discovery
    std::string DiscoveryPrefix = "homeassistant";
    bool AllowLinkChanges = false;      // --allow-link-changes: the baud rate and address may be set
    uint8_t Address = kAnyUnitAddress;  // --address N: the unit the requests go to
    bool RtsDirection = false;          // --rts-direction: RTS high while sending
    SaveTiming Saving;                  // QuietMs from --save-after; 0: save only at the end
    int KeepAliveS = 30;                // --keepalive: the broker drops a link silent for 1.5 times this
    int RetryMaxS = 30;                 // --retry-max: the longest wait between connection attempts
    bool Help = false;

    int BrokerPort() const { return Port != 0 ? Port : (TlsCaFile.empty() ? 1883 : 8883); }
};

// The environment variable that may hold the password (instead of a file).
constexpr char kPasswordVariable[] = "QUINTAVOLTE_MQTT_PASSWORD";

// False with a message in *error for an unknown option, a bad value, a name that is not a
// device variable, or a read-only name given as writable. "--config FILE" reads options
// from FILE first ("name = value" lines, # comments), so that the command line overrides
// them; the password comes from --password-file, else the environment, else the file.
bool ParseBridgeOptions(const std::vector<std::string> &args, BridgeOptions *options, std::string *error);

// The options of a configuration file as command-line arguments ("broker = h" gives
// "--broker", "h"; "ha-discovery = yes" gives "--ha-discovery"), each with its "FILE:LINE"
// in *where. A file that holds a password and that others than its owner may read is
// refused. False with a message in *error.
bool ReadBridgeConfig(const std::string &path, std::vector<std::string> *args, std::vector<std::string> *where,
                      std::string *error);
const char *BridgeUsage();

// "HOST", "HOST:PORT", "[V6ADDR]" or "[V6ADDR]:PORT"; port 0 when none is given.
bool ParseBrokerAddress(const std::string &text, std::string *host, int *port);
// Names of a comma-separated list, where "Area.*" stands for every variable whose name
// begins with "Area."; in register-map order, each once. False with the unknown part.
bool ExpandNames(const std::string &list, std::vector<std::string> *names, std::string *unknown);
