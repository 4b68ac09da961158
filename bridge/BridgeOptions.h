// Options of the MQTT bridge (the mqtt command of quintavolte-cli), parsed and checked
// against the register map before anything connects.
#pragma once

#include <string>
#include <vector>

#include "bridge/WriteQueue.h"

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
    std::string TlsCaPem;    // the file's text, read once at start
    bool Discovery = false;  // --ha-discovery
    std::string DiscoveryPrefix = "homeassistant";
    bool AllowLinkChanges = false;  // --allow-link-changes: the baud rate and address may be set
    SaveTiming Saving;              // QuietMs from --save-after; 0: save only at the end
    int KeepAliveS = 30;            // --keepalive: the broker drops a link silent for 1.5 times this
    int RetryMaxS = 30;             // --retry-max: the longest wait between connection attempts
    bool Help = false;

    int BrokerPort() const { return Port != 0 ? Port : (TlsCaFile.empty() ? 1883 : 8883); }
};

// False with a message in *error for an unknown option, a bad value, a name that is not a
// device variable, or a read-only name given as writable.
bool ParseBridgeOptions(const std::vector<std::string> &args, BridgeOptions *options, std::string *error);
const char *BridgeUsage();

// "HOST", "HOST:PORT", "[V6ADDR]" or "[V6ADDR]:PORT"; port 0 when none is given.
bool ParseBrokerAddress(const std::string &text, std::string *host, int *port);
// Names of a comma-separated list, where "Area.*" stands for every variable whose name
// begins with "Area."; in register-map order, each once. False with the unknown part.
bool ExpandNames(const std::string &list, std::vector<std::string> *names, std::string *unknown);
