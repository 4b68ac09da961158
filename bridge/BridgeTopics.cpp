#include "bridge/BridgeTopics.h"

#include <charconv>
#include <cstdio>

#include "device/RegisterMap.h"

namespace {

// The discovery protocol's topic root.
constexpr char kDiscoveryRoot[] = "homeassistant";

struct Measurement {
    const char *Name;
    const char *DeviceClass;
    const char *Unit;
    const char *StateClass;
};

constexpr Measurement kMeasurements[] = {
    {"Adc.AvddVoltage", "voltage", "V", "measurement"},
    {"Adc.I_Load", "current", "A", "measurement"},
    {"Adc.U_Load", "voltage", "V", "measurement"},
    {"Adc.I_Accu", "current", "A", "measurement"},
    {"Adc.U_Accu", "voltage", "V", "measurement"},
    {"Adc.I_Solar", "current", "A", "measurement"},
    {"Adc.U_Solar", "voltage", "V", "measurement"},
    {"Adc.PowerAccu", "power", "W", "measurement"},
    {"Adc.PowerSolar", "power", "W", "measurement"},
    {"Adc.PowerLoad", "power", "W", "measurement"},
    {"Adc.Temp_External", "temperature", "°C", "measurement"},
    // The counters can be reset from the device: a drop starts a new count.
    {"Adc.EnergyAccuCharge", "energy", "Wh", "total_increasing"},
    {"Adc.EnergyAccuDischarge", "energy", "Wh", "total_increasing"},
    {"Adc.EnergySolar", "energy", "Wh", "total_increasing"},
    {"Adc.EnergyLoad", "energy", "Wh", "total_increasing"},
};

// Units of the set-points, for the number controls.
constexpr Measurement kSetPoints[] = {
    {"Reg.ChargeMinU", "voltage", "V", nullptr}, {"Reg.ChargeMaxU", "voltage", "V", nullptr},
    {"Reg.ChargeI", "current", "A", nullptr},    {"Reg.LoadOffU", "voltage", "V", nullptr},
    {"Reg.LoadOnU", "voltage", "V", nullptr},
};

const Measurement *Find(const auto &table, const std::string &name)
{
    for (const Measurement &m : table)
        if (name == m.Name)
            return &m;
    return nullptr;
}

const MbVariableRow *FindRow(const std::string &name)
{
    for (const MbVariableRow &row : DeviceRegisterMap())
        if (MString(row.Name).ToUtf8() == name)
            return &row;
    return nullptr;
}

std::string ObjectId(const std::string &name)
{
    std::string id;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        id += plain ? c : '_';
    }
    return id;
}

bool ParseU32(const MString &text, uint32_t *value)
{
    const std::string t = text.ToUtf8();
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), *value);
    return !t.empty() && ec == std::errc() && end == t.data() + t.size();
}

class JsonObject {
public:
    JsonObject &Text(const char *key, const std::string &value)
    {
        return Raw(key, JsonString(value));
    }
    JsonObject &Raw(const char *key, const std::string &json)
    {
        body_ += (body_.empty() ? "" : ",") + JsonString(key) + ":" + json;
        return *this;
    }
    std::string Done() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

// The fields every config message shares: name, ids, availability, the device.
JsonObject Common(const DiscoveryDevice &d, const std::string &component, const std::string &name,
                  bool withState = true)
{
    const std::string node = "quintavolte_" + d.Id;
    JsonObject device;
    device.Raw("identifiers", "[" + JsonString(node) + "]")
        .Text("name", "Quintavolte " + d.Id)
        .Text("model", d.Type)
        .Text("sw_version", VersionText(d.VersionX100));
    JsonObject o;
    o.Text("name", name)
        .Text("unique_id", node + "_" + component + "_" + ObjectId(name))
        .Text("object_id", node + "_" + ObjectId(name));
    if (withState)
        o.Text("state_topic", d.Base + "/" + name);
    o.Text("availability_topic", d.Base + "/status")
        .Text("payload_available", "online")
        .Text("payload_not_available", "offline")
        .Raw("device", device.Done());
    return o;
}

MqttMessage Config(const DiscoveryDevice &d, const std::string &component, const std::string &name,
                   const JsonObject &o)
{
    MqttMessage m;
    m.Topic = std::string(kDiscoveryRoot) + "/" + component + "/quintavolte_" + d.Id + "/" + ObjectId(name) + "/config";
    m.Payload = o.Done();
    m.Retained = true;
    return m;
}

void NumberRange(uint32_t type, std::string *min, std::string *max, std::string *step)
{
    *step = "1";
    switch (type) {
    case mbtUShort: *min = "0"; *max = "65535"; break;
    case mbtShort: *min = "-32768"; *max = "32767"; break;
    case mbtUInt: *min = "0"; *max = "4294967295"; break;
    case mbtInt: *min = "-2147483648"; *max = "2147483647"; break;
    default: *min = "-1000000"; *max = "1000000"; *step = "0.001"; break;
    }
}

}  // namespace

bool DeviceIdFrom(const MString &h1, const MString &h2, const MString &l, std::string *id)
{
    uint32_t words[3];
    if (!ParseU32(h1, &words[0]) || !ParseU32(h2, &words[1]) || !ParseU32(l, &words[2]))
        return false;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08x%08x%08x", words[0], words[1], words[2]);
    *id = buf;
    return true;
}

std::string ValueText(const ModbusAction &variable)
{
    std::string text = variable.Value.ToUtf8();
    if (variable.Type == mbtFloat || variable.Type == mbtDouble)
        for (char &c : text)
            if (c == ',')
                c = '.';
    return text;
}

std::string VersionText(int32_t versionX100)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%d.%02d", versionX100 < 0 ? "-" : "", std::abs(versionX100 / 100),
                  std::abs(versionX100 % 100));
    return buf;
}

std::string JsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string InfoPayload(const std::string &type, int32_t versionX100, const std::string &port)
{
    return JsonObject().Text("type", type).Text("version", VersionText(versionX100)).Text("port", port).Done();
}

std::string SetTopicName(const std::string &topic, const std::string &base)
{
    const std::string head = base + "/set/";
    if (topic.size() <= head.size() || topic.compare(0, head.size(), head) != 0)
        return {};
    const std::string name = topic.substr(head.size());
    return name.find('/') == std::string::npos ? name : std::string();
}

bool IsSwitchVariable(const std::string &name)
{
    const MbVariableRow *row = FindRow(name);
    if (row != nullptr && row->Type == mbtBool)
        return true;
    // Flags are named with a lower-case b (Reg.bForceLoadOff); the outputs' State is on/off.
    const size_t dot = name.rfind('.');
    const std::string last = dot == std::string::npos ? name : name.substr(dot + 1);
    if (last.size() > 1 && last[0] == 'b' && last[1] >= 'A' && last[1] <= 'Z')
        return true;
    return name.size() == 9 && name.compare(0, 2, "Do") == 0 && name.compare(3, 6, ".State") == 0;
}

std::vector<MqttMessage> DiscoveryMessages(const DiscoveryDevice &d, const std::vector<std::string> &published,
                                           const std::vector<std::string> &writable)
{
    std::vector<MqttMessage> out;
    for (const std::string &name : published) {
        const Measurement *m = Find(kMeasurements, name);
        if (m == nullptr)
            continue;
        JsonObject o = Common(d, "sensor", name);
        o.Text("device_class", m->DeviceClass).Text("unit_of_measurement", m->Unit).Text("state_class", m->StateClass);
        out.push_back(Config(d, "sensor", name, o));
    }
    for (const std::string &name : writable) {
        const MbVariableRow *row = FindRow(name);
        if (row == nullptr)
            continue;
        const std::string command = d.Base + "/set/" + name;
        if (IsSwitchVariable(name)) {
            JsonObject o = Common(d, "switch", name, row->Access != mbaWrite);
            o.Text("command_topic", command)
                .Text("payload_on", "1")
                .Text("payload_off", "0")
                .Text("state_on", row->Type == mbtBool ? "true" : "1")
                .Text("state_off", row->Type == mbtBool ? "false" : "0");
            out.push_back(Config(d, "switch", name, o));
            continue;
        }
        std::string min, max, step;
        NumberRange(row->Type, &min, &max, &step);
        // A command that can only be written has no state to show.
        JsonObject o = Common(d, "number", name, row->Access != mbaWrite);
        o.Text("command_topic", command).Raw("min", min).Raw("max", max).Raw("step", step).Text("mode", "box");
        if (const Measurement *m = Find(kSetPoints, name))
            o.Text("device_class", m->DeviceClass).Text("unit_of_measurement", m->Unit);
        out.push_back(Config(d, "number", name, o));
    }
    return out;
}
