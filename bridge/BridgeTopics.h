// What the bridge publishes, as topics and payload texts: the device id, the info record
// and the home-automation discovery messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/MqttLink.h"
#include "device/ModbusAction.h"
#include "device/PrintableText.h"

// 24 lower-case hexadecimal digits from the three chip identity words (decimal texts as the
// device variables hold them); false when one of them is not a 32-bit unsigned number.
bool DeviceIdFrom(const MString &h1, const MString &h2, const MString &l, std::string *id);

// "1.11" for 111.
std::string VersionText(int32_t versionX100);

// A JSON string literal (quotes included).
std::string JsonString(const std::string &text);

// The retained info record: {"type":…,"version":…,"port":…}.
std::string InfoPayload(const std::string &type, int32_t versionX100, const std::string &port);

// The name in a topic PREFIX/<id>/set/NAME, or empty when the topic is not one.
std::string SetTopicName(const std::string &topic, const std::string &base);

struct DiscoveryDevice {
    std::string Id;    // device id
    std::string Base;  // PREFIX/<id>
    std::string Type;  // type text
    int32_t VersionX100 = 0;
    std::string Prefix = "homeassistant";  // the discovery topics' first levels
    bool English = true;                   // the words of the output modes
};

// The output modes, in the order of the numbers the Do<n>.Mode variables hold, in
// Russian and in English.
extern const char *const kOutputModes[6];
extern const char *const kOutputModesEnglish[6];

// One retained config message per entity of one device:
// - the bridge's own link status (a diagnostic connectivity sensor);
// - published measurements, counters, running hours and inputs, as sensors and binary
//   sensors with their units, device and state classes;
// - writable names as controls with the write gate's limits: a button for a command, a
//   select for a choice (output modes from version 1.11 on, the baud rate), a switch for
//   an on/off value, a number with its range, step and unit for the rest.
std::vector<MqttMessage> DiscoveryMessages(const DiscoveryDevice &device, const std::vector<std::string> &published,
                                           const std::vector<std::string> &writable);

// The topic filter that holds every config message of the device, and whether a topic is one.
std::string DiscoveryFilter(const DiscoveryDevice &device);
bool IsDiscoveryTopic(const std::string &topic, const DiscoveryDevice &device);

// Whether a writable variable holds 0 or 1 only (shown as a switch).
bool IsSwitchVariable(const std::string &name);
