// What the bridge publishes, as topics and payload texts: the device id, value texts in
// the C locale, the info record and the home-automation discovery messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/MqttLink.h"
#include "device/ModbusAction.h"

// 24 lower-case hexadecimal digits from the three chip identity words (decimal texts as the
// device variables hold them); false when one of them is not a 32-bit unsigned number.
bool DeviceIdFrom(const MString &h1, const MString &h2, const MString &l, std::string *id);

// The variable's value text for a message: numbers with a decimal point whatever the
// process locale, other texts unchanged (UTF-8).
std::string ValueText(const ModbusAction &variable);

// "1.11" for 111.
std::string VersionText(int32_t versionX100);

// A JSON string literal (quotes included).
std::string JsonString(const std::string &text);

// The retained info record: {"type":…,"version":…,"port":…}.
std::string InfoPayload(const std::string &type, int32_t versionX100, const std::string &port);

// The name in a topic PREFIX/<id>/set/NAME, or empty when the topic is not one.
std::string SetTopicName(const std::string &topic, const std::string &base);

struct DiscoveryDevice {
    std::string Id;       // device id
    std::string Base;     // PREFIX/<id>
    std::string Type;     // type text
    int32_t VersionX100 = 0;
};

// One retained config message per main measurement among the published names (sensors
// with their unit and device class) and per writable name (a switch for the 0/1 variables,
// a number for the rest), all of one device.
std::vector<MqttMessage> DiscoveryMessages(const DiscoveryDevice &device, const std::vector<std::string> &published,
                                           const std::vector<std::string> &writable);

// Whether a writable variable holds 0 or 1 only (shown as a switch).
bool IsSwitchVariable(const std::string &name);
