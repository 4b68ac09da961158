#include "bridge/BridgeTopics.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "device/RegisterMap.h"
#include "core/Version.h"
#include "device/SettingsFile.h"
#include "device/WriteGate.h"

namespace {

// How a published read-only variable (or a counter) shows as an entity.
struct SensorRole {
    const char *Name;         // exact name, or "Di*" for each of the four inputs
    const char *Component;    // "sensor" or "binary_sensor"
    const char *DeviceClass;  // nullptr: none
    const char *Unit;         // nullptr: none
    const char *StateClass;   // nullptr: none
    const char *Category;     // nullptr: a primary entity
};

constexpr char kDiagnostic[] = "diagnostic";
constexpr char kConfig[] = "config";

// Units of what the device measures; the counters can be reset from the device or the
// bridge, so their state class takes a drop as a new count.
constexpr SensorRole kSensors[] = {
    {"DeviceType", "sensor", nullptr, nullptr, nullptr, kDiagnostic},
    {"Adc.AvddVoltage", "sensor", "voltage", "V", "measurement", kDiagnostic},
    {"Adc.I_Load", "sensor", "current", "A", "measurement", nullptr},
    {"Adc.U_Load", "sensor", "voltage", "V", "measurement", nullptr},
    {"Adc.I_Accu", "sensor", "current", "A", "measurement", nullptr},
    {"Adc.U_Accu", "sensor", "voltage", "V", "measurement", nullptr},
    {"Adc.I_Solar", "sensor", "current", "A", "measurement", nullptr},
    {"Adc.U_Solar", "sensor", "voltage", "V", "measurement", nullptr},
    {"Adc.PowerAccu", "sensor", "power", "W", "measurement", nullptr},
    {"Adc.PowerSolar", "sensor", "power", "W", "measurement", nullptr},
    {"Adc.PowerLoad", "sensor", "power", "W", "measurement", nullptr},
    {"Adc.Temp_External", "sensor", "temperature", "°C", "measurement", nullptr},
    {"Adc.UserAdcV1", "sensor", "voltage", "V", "measurement", nullptr},
    {"Adc.UserAdcV2", "sensor", "voltage", "V", "measurement", nullptr},
    {"Adc.EnergyAccuCharge", "sensor", "energy", "Wh", "total_increasing", nullptr},
    {"Adc.EnergyAccuDischarge", "sensor", "energy", "Wh", "total_increasing", nullptr},
    {"Adc.EnergySolar", "sensor", "energy", "Wh", "total_increasing", nullptr},
    {"Adc.EnergyLoad", "sensor", "energy", "Wh", "total_increasing", nullptr},
    {"Reg.bLoadIsOn", "binary_sensor", "power", nullptr, nullptr, nullptr},
    {"Reg.TrainingDischargeEnergy", "sensor", "energy", "Wh", "total_increasing", nullptr},
    {"Reg.TrainingChargeEnergy", "sensor", "energy", "Wh", "total_increasing", nullptr},
    {"Di*.CurState", "binary_sensor", nullptr, nullptr, nullptr, nullptr},
    {"Di*.ChangesCounter", "sensor", nullptr, nullptr, "total_increasing", kDiagnostic},
    {"Di*.Frequency", "sensor", "frequency", "Hz", "measurement", nullptr},
    {"Di*.DutyCycle", "sensor", nullptr, "%", "measurement", nullptr},
    {"Rtc.UpTimeHours", "sensor", "duration", "h", "total_increasing", kDiagnostic},
    {"Rtc.WorkTimeHours", "sensor", "duration", "h", "total_increasing", kDiagnostic},
};

// Writable variables that an operator works with day to day; every other setting is
// shown among the device's configuration.
constexpr const char *kPrimaryControls[] = {
    "Reg.bForceLoadOff", "Reg.TrainingCycleCount", "Do1.State", "Do2.State", "Do3.State", "Do4.State"};

const SensorRole *FindSensor(const std::string &name)
{
    for (const SensorRole &r : kSensors) {
        const std::string pattern = r.Name;
        if (pattern.size() > 3 && pattern.compare(0, 3, "Di*") == 0) {
            if (name.size() == pattern.size() && name.compare(0, 2, "Di") == 0 && name[2] >= '1' && name[2] <= '4' &&
                name.compare(3, std::string::npos, pattern, 3, std::string::npos) == 0)
                return &r;
        } else if (name == pattern) {
            return &r;
        }
    }
    return nullptr;
}

bool IsPrimaryControl(const std::string &name)
{
    for (const char *n : kPrimaryControls)
        if (name == n)
            return true;
    return false;
}

// Do1.Mode .. Do4.Mode.
bool IsOutputMode(const std::string &name)
{
    return name.size() == 8 && name.compare(0, 2, "Do") == 0 && name[2] >= '1' && name[2] <= '4' &&
           name.compare(3, 5, ".Mode") == 0;
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

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

bool ParseU32(const MString &text, uint32_t *value)
{
    const std::string t = text.ToUtf8();
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), *value);
    return !t.empty() && ec == std::errc() && end == t.data() + t.size();
}

// A number as JSON, in the fewest digits that read back to it; a limit that is a float
// (the largest float) as that float.
std::string JsonNumber(double x)
{
    const float f = static_cast<float>(x);
    return std::isfinite(f) && double(f) == x ? ShortestNumberText(f) : ShortestNumberText(x);
}

class JsonObject {
public:
    JsonObject &Text(const char *key, const std::string &value) { return Raw(key, JsonString(value)); }
    JsonObject &Raw(const char *key, const std::string &json)
    {
        body_ += (body_.empty() ? "" : ",") + JsonString(key) + ":" + json;
        return *this;
    }
    std::string Done() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

std::string JsonArray(const std::vector<std::string> &items)
{
    std::string out;
    for (const std::string &i : items)
        out += (out.empty() ? "" : ",") + JsonString(i);
    return "[" + out + "]";
}

std::string NodeId(const DiscoveryDevice &d)
{
    return "quintavolte_" + d.Id;
}

// The fields every config message shares: name, ids, availability, the device.
JsonObject Common(const DiscoveryDevice &d, const std::string &component, const std::string &name,
                  bool withState = true, bool withAvailability = true)
{
    const std::string node = NodeId(d);
    JsonObject device;
    device.Raw("identifiers", "[" + JsonString(node) + "]")
        .Text("name", "Quintavolte " + d.Id)
        .Text("manufacturer", "Quintavolte")
        .Text("model", d.Type)
        .Text("sw_version", VersionText(d.VersionX100));
    // Which program speaks for the device, for the home-automation side's own records.
    JsonObject origin;
    origin.Text("name", "quintavolte-cli mqtt").Text("sw_version", QV_VERSION_TEXT);
    JsonObject o;
    o.Text("name", name)
        .Text("unique_id", node + "_" + component + "_" + ObjectId(name))
        .Text("default_entity_id", component + "." + Lower(node + "_" + ObjectId(name)));
    if (withState)
        o.Text("state_topic", d.Base + "/" + name);
    if (withAvailability)
        // "searching" and "offline" both mean the values are not current.
        o.Text("availability_topic", d.Base + "/status")
            .Text("availability_template", "{{ 'online' if value == 'online' else 'offline' }}")
            .Text("payload_available", "online")
            .Text("payload_not_available", "offline");
    o.Raw("device", device.Done()).Raw("origin", origin.Done());
    return o;
}

MqttMessage Config(const DiscoveryDevice &d, const std::string &component, const std::string &object,
                   const JsonObject &o)
{
    MqttMessage m;
    m.Topic = d.Prefix + "/" + component + "/" + NodeId(d) + "/" + object + "/config";
    m.Payload = o.Done();
    m.Retained = true;
    return m;
}

const char *UnitClass(const std::string &unit)
{
    if (unit == "V")
        return "voltage";
    if (unit == "A")
        return "current";
    if (unit == "Wh")
        return "energy";
    return nullptr;
}

void AddSensor(const DiscoveryDevice &d, const std::string &name, const SensorRole &r, std::vector<MqttMessage> *out)
{
    const std::string component = r.Component;
    JsonObject o = Common(d, component, name);
    if (component == "binary_sensor")
        o.Text("payload_on", "1").Text("payload_off", "0");
    if (r.DeviceClass != nullptr)
        o.Text("device_class", r.DeviceClass);
    if (r.Unit != nullptr)
        o.Text("unit_of_measurement", r.Unit);
    if (r.StateClass != nullptr)
        o.Text("state_class", r.StateClass);
    if (r.Category != nullptr)
        o.Text("entity_category", r.Category);
    out->push_back(Config(d, component, ObjectId(name), o));
}

void AddControl(const DiscoveryDevice &d, const std::string &name, const MbVariableRow &row,
                std::vector<MqttMessage> *out)
{
    const WriteLimits *limits = WriteLimitsOf(row.Name, row.Type, row.Access);
    if (limits == nullptr)
        return;
    const std::string command = d.Base + "/set/" + name;
    const bool readable = row.Access != mbaWrite;
    const char *category = IsPrimaryControl(name) ? nullptr : kConfig;
    auto finish = [&](JsonObject &o, const std::string &component) {
        if (category != nullptr)
            o.Text("entity_category", category);
        out->push_back(Config(d, component, ObjectId(name), o));
    };
    if (limits->Command) {
        // Writing 1 makes the device act once: nothing to show, something to press.
        JsonObject o = Common(d, "button", name, false);
        o.Text("command_topic", command).Text("payload_press", "1");
        finish(o, "button");
        return;
    }
    if (IsOutputMode(name)) {
        if (d.VersionX100 <= 110)
            return;  // older firmware has no output modes
        // The home-automation side keeps the option text as the state: one language, chosen once.
        const char *const *words = d.English ? kOutputModesEnglish : kOutputModes;
        std::vector<std::string> options(words, words + std::size(kOutputModes));
        std::string toIndex;
        for (size_t i = 0; i < options.size(); ++i)
            toIndex += (i == 0 ? "" : ", ") + JsonString(options[i]) + ": " + std::to_string(i);
        JsonObject o = Common(d, "select", name, readable);
        o.Text("command_topic", command)
            .Raw("options", JsonArray(options))
            .Text("value_template", "{% set m = " + JsonArray(options) +
                                        " %}{{ m[value | int] if value | int(-1) in range(" +
                                        std::to_string(options.size()) + ") else value }}")
            .Text("command_template", "{{ {" + toIndex + "}[value] }}");
        finish(o, "select");
        return;
    }
    if (!limits->Options.empty()) {
        std::vector<std::string> options;
        for (double v : limits->Options)
            options.push_back(JsonNumber(v));
        JsonObject o = Common(d, "select", name, readable);
        o.Text("command_topic", command).Raw("options", JsonArray(options));
        finish(o, "select");
        return;
    }
    if (IsSwitchVariable(name)) {
        JsonObject o = Common(d, "switch", name, readable);
        o.Text("command_topic", command)
            .Text("payload_on", "1")
            .Text("payload_off", "0")
            .Text("state_on", row.Type == mbtBool ? "true" : "1")
            .Text("state_off", row.Type == mbtBool ? "false" : "0");
        finish(o, "switch");
        return;
    }
    const double step = limits->Step > 0 ? limits->Step : (limits->Integer ? 1 : 0.001);
    JsonObject o = Common(d, "number", name, readable);
    o.Text("command_topic", command)
        .Raw("min", JsonNumber(limits->Min))
        .Raw("max", JsonNumber(limits->Max))
        .Raw("step", JsonNumber(step))
        .Text("mode", "box");
    const std::string unit = limits->Unit;
    if (!unit.empty()) {
        if (const char *cls = UnitClass(unit))
            o.Text("device_class", cls);
        o.Text("unit_of_measurement", unit);
    }
    finish(o, "number");
}

}  // namespace

const char *const kOutputModes[6] = {"Управление по Modbus", "Панель ОК",     "АКБ заряжается",
                                     "АКБ заряжена",         "АКБ разряжена", "Нагрузка включена"};
// As the window's English says them.
const char *const kOutputModesEnglish[6] = {"Modbus control",  "Panel OK",    "Battery charging",
                                            "Battery charged", "Battery low", "Load on"};

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
    if (row == nullptr)
        return false;
    const WriteLimits *l = WriteLimitsOf(row->Name, row->Type, row->Access);
    return l != nullptr && !l->Command && l->Options.empty() &&
           (l->Type == mbtBool || (l->Integer && l->Min == 0 && l->Max == 1));
}

std::vector<MqttMessage> DiscoveryMessages(const DiscoveryDevice &d, const std::vector<std::string> &published,
                                           const std::vector<std::string> &writable)
{
    std::vector<MqttMessage> out;
    {
        // The bridge's own link: stays readable while the device is away.
        JsonObject o = Common(d, "binary_sensor", "status", true, false);
        o.Text("device_class", "connectivity")
            .Text("value_template", "{{ 'ON' if value == 'online' else 'OFF' }}")
            .Text("payload_on", "ON")
            .Text("payload_off", "OFF")
            .Text("entity_category", kDiagnostic);
        out.push_back(Config(d, "binary_sensor", "status", o));
    }
    for (const std::string &name : published)
        if (const SensorRole *r = FindSensor(name))
            AddSensor(d, name, *r, &out);
    for (const std::string &name : writable)
        if (const MbVariableRow *row = FindRow(name))
            AddControl(d, name, *row, &out);
    return out;
}

std::string DiscoveryFilter(const DiscoveryDevice &d)
{
    return d.Prefix + "/+/" + NodeId(d) + "/+/config";
}

bool IsDiscoveryTopic(const std::string &topic, const DiscoveryDevice &d)
{
    // PREFIX/<component>/<node>/<object>/config, with one level each for component and object.
    const std::string head = d.Prefix + "/";
    const std::string tail = "/config";
    if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string middle = topic.substr(head.size(), topic.size() - head.size() - tail.size());
    const size_t a = middle.find('/');
    const size_t b = a == std::string::npos ? a : middle.find('/', a + 1);
    if (a == 0 || b == std::string::npos || middle.find('/', b + 1) != std::string::npos || b + 1 == middle.size())
        return false;
    return middle.compare(a + 1, b - a - 1, NodeId(d)) == 0 && b - a - 1 == NodeId(d).size();
}
