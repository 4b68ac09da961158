// The bridge's command line and the texts it publishes: options checked against the register
// map, the device id, C-locale value texts, set topics, the info record and discovery.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <bit>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bridge/BridgeOptions.h"
#include "bridge/BridgeTopics.h"
#include "device/RegisterMap.h"
#include "core/Version.h"
#include "device/SettingsFile.h"

namespace {

std::string Lower(std::string t)
{
    for (char &c : t)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

struct OptionCase {
    std::vector<std::string> Args;
    bool Ok;
    std::string Error;  // a part of the message when refused
};

TEST(BridgeOptions, AcceptsGoodLinesAndRefusesBadOnes)
{
    const std::string password = testing::TempDir() + "bridge-password";
    std::ofstream(password) << "s3cret\nsecond line\n";
    const OptionCase cases[] = {
        {{"--broker", "localhost"}, true, ""},
        {{"--broker", "10.0.0.2:1884", "--prefix", "home/solar/", "--interval", "250"}, true, ""},
        {{"--broker", "[::1]:1883", "--names", "Adc.*,DeviceType", "--writable", "Reg.bForceLoadOff"}, true, ""},
        {{"--broker", "h", "--username", "u", "--password-file", password}, true, ""},
        {{}, false, "needs --broker"},
        {{"--broker"}, false, "needs a value"},
        {{"--broker", "h:0"}, false, "--broker"},
        {{"--broker", "h:65536"}, false, "--broker"},
        {{"--broker", "::1"}, false, "--broker"},  // a bare IPv6 address needs brackets
        {{"--broker", "h:"}, false, "--broker"},
        {{"--broker", "h", "--names", "Adc.U_Accu,Nope"}, false, "unknown variable Nope"},
        {{"--broker", "h", "--names", "Zzz.*"}, false, "unknown variable Zzz.*"},
        {{"--broker", "h", "--writable", "Adc.U_Accu"}, false, "Adc.U_Accu is read-only"},
        {{"--broker", "h", "--prefix", "a/+/b"}, false, "--prefix"},
        {{"--broker", "h", "--prefix", "/"}, false, "--prefix"},
        {{"--broker", "h", "--discovery-prefix", "ha/#"}, false, "--discovery-prefix"},
        {{"--broker", "h", "--discovery-prefix", ""}, false, "--discovery-prefix"},
        {{"--broker", "h", "--interval", "5"}, false, "--interval"},
        {{"--broker", "h", "--save-after", "-1"}, false, "--save-after"},
        {{"--broker", "h", "--save-after", "1.5"}, false, "--save-after"},
        {{"--broker", "h", "--save-after", "86401"}, false, "--save-after"},
        {{"--broker", "h", "--keepalive", "4"}, false, "--keepalive"},  // the MQTT library refuses less
        {{"--broker", "h", "--keepalive", "65536"}, false, "--keepalive"},
        {{"--broker", "h", "--retry-max", "0"}, false, "--retry-max"},
        {{"--broker", "h", "--retry-max", "x"}, false, "--retry-max"},
        {{"--broker", "h", "--password-file", password}, false, "goes with --username"},
        {{"--broker", "h", "--username", "u", "--password-file", "/nonexistent/pw"}, false, "cannot read"},
        {{"--broker", "h", "--tls-ca", "/nonexistent/ca.pem"}, false, "cannot read"},
        {{"--broker", "h", "--frob"}, false, "unknown option --frob"},
        {{"--broker", "h", "extra"}, false, "no argument extra"},
        {{"--broker", "h", "--address", "17", "--rts-direction"}, true, ""},
        {{"--broker", "h", "--address", "0"}, false, "--address wants a unit address from 1 to 247"},
        {{"--broker", "h", "--address", "248"}, false, "not '248'"},
        {{"--broker", "h", "--address"}, false, "needs a value"},
    };
    for (const OptionCase &c : cases) {
        std::string line;
        for (const std::string &a : c.Args)
            line += a + " ";
        BridgeOptions o;
        std::string error;
        EXPECT_EQ(ParseBridgeOptions(c.Args, &o, &error), c.Ok) << line << error;
        if (!c.Ok) {
            EXPECT_NE(error.find(c.Error), std::string::npos) << line << error;
        }
    }

    BridgeOptions o;
    std::string error;
    ASSERT_TRUE(ParseBridgeOptions({"--broker", "[::1]:1884", "--prefix", "home/solar//", "--names",
                                    "Extremes.bReset,Adc.Energy*", "--username", "u", "--password-file", password},
                                   &o, &error));
    EXPECT_EQ(o.Host, "::1");
    EXPECT_EQ(o.BrokerPort(), 1884);
    EXPECT_EQ(o.Prefix, "home/solar");
    EXPECT_EQ(o.Password, "s3cret");
    // Register-map order, whatever the order of the list.
    EXPECT_EQ(o.Names, (std::vector<std::string>{"Adc.EnergyAccuCharge", "Adc.EnergyAccuDischarge", "Adc.EnergySolar",
                                                 "Adc.EnergyLoad", "Extremes.bReset"}));
    EXPECT_TRUE(o.Writable.empty());  // nothing is writable unless the owner says so
    EXPECT_EQ(o.DiscoveryPrefix, "homeassistant");
    EXPECT_FALSE(o.AllowLinkChanges);
    EXPECT_EQ(o.Saving.QuietMs, 5000u);
    EXPECT_EQ(o.Saving.SpacingMs, 600000u);
    EXPECT_EQ(o.KeepAliveS, 30);
    EXPECT_EQ(o.RetryMaxS, 30);
    ASSERT_TRUE(ParseBridgeOptions({"--broker", "h", "--keepalive", "5", "--retry-max", "1"}, &o, &error)) << error;
    EXPECT_EQ(o.KeepAliveS, 5);
    EXPECT_EQ(o.RetryMaxS, 1);
    ASSERT_TRUE(ParseBridgeOptions({"--broker", "h", "--save-after", "0", "--allow-link-changes"}, &o, &error));
    EXPECT_EQ(o.Saving.QuietMs, 0u);
    EXPECT_TRUE(o.AllowLinkChanges);
    ASSERT_TRUE(ParseBridgeOptions({"--broker", "h", "--save-after", "30"}, &o, &error));
    EXPECT_EQ(o.Saving.QuietMs, 30000u);

    // The certificates are read at start: what happens to the file later cannot matter.
    const std::string ca = testing::TempDir() + "bridge-ca.pem";
    std::ofstream(ca) << "-----BEGIN CERTIFICATE-----\nAAAA\n";
    ASSERT_TRUE(ParseBridgeOptions({"--broker", "h", "--tls-ca", ca, "--discovery-prefix", "home/ha/"}, &o, &error))
        << error;
    std::remove(ca.c_str());
    EXPECT_EQ(o.TlsCaPem, "-----BEGIN CERTIFICATE-----\nAAAA\n");
    EXPECT_EQ(o.BrokerPort(), 8883);
    EXPECT_EQ(o.DiscoveryPrefix, "home/ha");
    std::remove(password.c_str());
}

// Options from a file (as the service reads them), the command line over the file, and a
// password kept from others' eyes.
TEST(BridgeOptions, AConfigFileGivesOptionsThatTheCommandLineOverrides)
{
    const std::string file = testing::TempDir() + "bridge-mqtt.conf";
    const std::string pwFile = testing::TempDir() + "bridge-pw";
    std::ofstream(pwFile) << "from-file\n";
    struct Case {
        std::string Text;
        mode_t Mode;
        std::vector<std::string> Args;  // after --config FILE
        bool Ok;
        std::string Error;  // a part of the message when refused
    };
    const std::string good = "# the bridge\n\nbroker = b.example:1884\n  names = Adc.U_Accu , \nha-discovery = yes\n"
                             "allow-link-changes = no\nusername = solar\npassword = pa ss\nlang = ru\n";
    const Case cases[] = {
        {good, 0600, {}, true, ""},
        {good, 0640, {}, false, "holds a password and others may read it"},
        {good, 0604, {}, false, "chmod 600"},
        {"broker = h\n", 0644, {}, true, ""},  // nothing secret in it
        {"broker = h\ninterval = 5\n", 0600, {}, false, "bridge-mqtt.conf:2: --interval wants"},
        {"broker = h\n\nfrob = 1\n", 0600, {}, false, "bridge-mqtt.conf:3: unknown option frob"},
        {"broker = h\nha-discovery = maybe\n", 0600, {}, false, ":2: ha-discovery wants yes or no"},
        {"broker h\n", 0600, {}, false, ":1: not a \"name = value\" line"},
        {"config = other\n", 0600, {}, false, "unknown option config"},
        {"broker = h\n", 0600, {"--password", "x"}, false, "would show in the list of processes"},
        {"broker = h\npassword = x\n", 0600, {}, false, "a password goes with --username"},
        {"broker = h\n", 0600, {"--tls-cert", pwFile}, false, "--tls-cert and --tls-key go together"},
        {"broker = h\n", 0600, {"--tls-cert", pwFile, "--tls-key", pwFile}, false, "goes with --tls-ca"},
        {"broker = h\n", 0600, {"--tls-key", "/nonexistent/k"}, false, "cannot read the key file"},
        {"broker = h\n", 0600, {"--lang", "de"}, false, "--lang wants en or ru"},
        {"broker = h\naddress = abc\n", 0600, {}, false, ":2: --address wants"},
        {"broker = h\nrts-direction = on\n", 0600, {}, false, ":2: rts-direction wants yes or no"},
    };
    for (const Case &c : cases) {
        std::ofstream(file, std::ios::trunc) << c.Text;
        ASSERT_EQ(chmod(file.c_str(), c.Mode), 0);
        std::vector<std::string> args{"--config", file};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        BridgeOptions o;
        std::string error;
        EXPECT_EQ(ParseBridgeOptions(args, &o, &error), c.Ok) << c.Text << error;
        if (!c.Ok) {
            EXPECT_NE(error.find(c.Error), std::string::npos) << c.Text << error;
        }
    }

    std::ofstream(file, std::ios::trunc) << good;
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    BridgeOptions o;
    std::string error;
    ASSERT_TRUE(ParseBridgeOptions({"--config", file}, &o, &error)) << error;
    EXPECT_EQ(o.Host, "b.example");
    EXPECT_EQ(o.BrokerPort(), 1884);
    EXPECT_EQ(o.Names, std::vector<std::string>{"Adc.U_Accu"});
    EXPECT_TRUE(o.Discovery);
    EXPECT_FALSE(o.AllowLinkChanges);
    EXPECT_EQ(o.Password, "pa ss");
    EXPECT_FALSE(o.English);
    // The command line wins over the file, wherever it stands; the environment's password
    // over the file's, a password file on the command line over both.
    ASSERT_TRUE(ParseBridgeOptions({"--broker", "c.example", "--config", file, "--lang", "en"}, &o, &error)) << error;
    EXPECT_EQ(o.Host, "c.example");
    EXPECT_EQ(o.BrokerPort(), 1883);
    EXPECT_TRUE(o.English);
    setenv(kPasswordVariable, "from-env", 1);
    ASSERT_TRUE(ParseBridgeOptions({"--config", file}, &o, &error)) << error;
    EXPECT_EQ(o.Password, "from-env");
    ASSERT_TRUE(ParseBridgeOptions({"--config", file, "--password-file", pwFile}, &o, &error)) << error;
    EXPECT_EQ(o.Password, "from-file");
    unsetenv(kPasswordVariable);

    // The unit and the direction control of a bus the service talks to, from its file.
    std::ofstream(file, std::ios::trunc) << "broker = h\naddress = 17\nrts-direction = yes\n";
    ASSERT_TRUE(ParseBridgeOptions({"--config", file}, &o, &error)) << error;
    EXPECT_EQ(o.Address, 17);
    EXPECT_TRUE(o.RtsDirection);
    ASSERT_TRUE(ParseBridgeOptions({"--config", file, "--address", "254"}, &o, &error)) << error;
    EXPECT_EQ(o.Address, kAnyUnitAddress);
    ASSERT_TRUE(ParseBridgeOptions({"--broker", "h"}, &o, &error)) << error;
    EXPECT_EQ(o.Address, kAnyUnitAddress);
    EXPECT_FALSE(o.RtsDirection);
    std::remove(file.c_str());
    std::remove(pwFile.c_str());
}

TEST(BridgeOptions, DefaultsPublishEveryReadableVariable)
{
    BridgeOptions o;
    std::string error;
    ASSERT_TRUE(ParseBridgeOptions({"--broker", "h"}, &o, &error)) << error;
    EXPECT_EQ(o.BrokerPort(), 1883);
    EXPECT_EQ(o.Prefix, "quintavolte");
    EXPECT_EQ(o.IntervalMs, 1000);
    // 120 variables, three of them commands that can only be written.
    EXPECT_EQ(o.Names.size(), 117u);
    for (const char *command : {"ResetConfigToDefaults", "Cal_I_Solar.CalibrateZeroMode"})
        EXPECT_EQ(std::count(o.Names.begin(), o.Names.end(), command), 0) << command;
}

TEST(BridgeTopics, DeviceIdFromTheChipWords)
{
    std::string id;
    ASSERT_TRUE(DeviceIdFrom(MString(u"2319195911"), MString(u"4268595"), MString(u"305441741"), &id));
    EXPECT_EQ(id, "8a3c1f07004122331234abcd");
    ASSERT_TRUE(DeviceIdFrom(MString(u"0"), MString(u"4294967295"), MString(u"1"), &id));
    EXPECT_EQ(id, "00000000ffffffff00000001");
    for (const char16_t *bad : {u"--", u"", u"4294967296", u"-1", u"12 "})
        EXPECT_FALSE(DeviceIdFrom(MString(u"1"), MString(bad), MString(u"1"), &id)) << MString(bad).ToUtf8();
}

TEST(BridgeTopics, ValuesGoOutExactWithADecimalPoint)
{
    ModbusAction v;
    EXPECT_EQ(ExactValueText(v), "--");
    v.Type = mbtFloat;
    v.Value = MString(u"14,39999");  // shown cut to 5 decimals in a comma locale
    EXPECT_EQ(ExactValueText(v), "14.4") << "written, not read back yet: the text sent";
    const uint32_t bits = std::bit_cast<uint32_t>(1.2345678f);
    const uint8_t raw[4] = {uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)};
    std::copy(std::begin(raw), std::end(raw), v.Raw);
    v.RawCount = 4;
    v.Value = MString(u"1,23456");
    EXPECT_EQ(ExactValueText(v), "1.2345678") << "read: every bit of it";
    v.Type = mbtDouble;
    v.RawCount = 0;
    v.Value = MString(u"-0,5");
    EXPECT_EQ(ExactValueText(v), "-0.5");
    v.Type = mbtAscii;  // a text keeps its commas
    v.Value = MString(u"a,b");
    EXPECT_EQ(ExactValueText(v), "a,b");

    // Formatted in a comma locale, published with a point.
    const MString warm(u"x");  // the string class switches to the user's locale once
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") == nullptr)
        GTEST_SKIP() << "no ru_RU.UTF-8 locale";
    v.Type = mbtFloat;
    v.Value = MString::FromReal(12.5, 10, 5);
    EXPECT_EQ(v.Value.ToUtf8(), "12,5");
    EXPECT_EQ(ExactValueText(v), "12.5");
    std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(BridgeTopics, SetTopicsAndRecords)
{
    const std::string base = "q/8a3c";
    EXPECT_EQ(SetTopicName("q/8a3c/set/Reg.ChargeMaxU", base), "Reg.ChargeMaxU");
    EXPECT_EQ(SetTopicName("q/8a3c/set/", base), "");
    EXPECT_EQ(SetTopicName("q/8a3c/set/a/b", base), "");
    EXPECT_EQ(SetTopicName("q/8a3d/set/Reg.ChargeI", base), "");
    EXPECT_EQ(SetTopicName("q/8a3c/result/Reg.ChargeI", base), "");

    EXPECT_EQ(VersionText(111), "1.11");
    EXPECT_EQ(VersionText(200), "2.00");
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    EXPECT_EQ(InfoPayload("Quintavolte \"1.11\"", 111, "/dev/ttyUSB0"),
              "{\"type\":\"Quintavolte \\\"1.11\\\"\",\"version\":\"1.11\",\"port\":\"/dev/ttyUSB0\"}");
}

// One JSON object's top-level fields: strings decoded, other values as written.
std::map<std::string, std::string> Fields(const std::string &json)
{
    std::map<std::string, std::string> fields;
    size_t i = 0;
    auto string = [&](std::string *out) {
        EXPECT_EQ(json[i], '"') << json;
        for (++i; i < json.size() && json[i] != '"'; ++i) {
            if (json[i] == '\\') {
                ++i;
                if (json[i] == 'u') {
                    *out += char(std::stoi(json.substr(i + 1, 4), nullptr, 16));
                    i += 4;
                } else {
                    *out += json[i];
                }
            } else {
                *out += json[i];
            }
        }
        ++i;
    };
    EXPECT_EQ(json.front(), '{');
    i = 1;
    while (i < json.size() && json[i] != '}') {
        std::string key, value;
        string(&key);
        EXPECT_EQ(json[i], ':') << json;
        ++i;
        if (json[i] == '"') {
            string(&value);
        } else {
            int depth = 0;
            const size_t start = i;
            for (bool quoted = false; i < json.size(); ++i) {
                const char c = json[i];
                if (quoted) {
                    quoted = c != '"' || json[i - 1] == '\\';
                    continue;
                }
                if (c == '"')
                    quoted = true;
                else if (c == '{' || c == '[')
                    ++depth;
                else if (c == '}' || c == ']') {
                    if (depth == 0)
                        break;
                    --depth;
                } else if (c == ',' && depth == 0)
                    break;
            }
            value = json.substr(start, i - start);
        }
        EXPECT_TRUE(fields.emplace(key, value).second) << "twice: " << key;
        if (json[i] == ',')
            ++i;
    }
    return fields;
}

// Names of the register map with the access bits given.
std::vector<std::string> MapNames(uint32_t access)
{
    std::vector<std::string> names;
    for (const MbVariableRow &row : DeviceRegisterMap())
        if ((row.Access & access) != 0)
            names.push_back(MString(row.Name).ToUtf8());
    return names;
}

// "Cal_*.Mul" stands for every channel.
bool Matches(const std::string &pattern, const std::string &name)
{
    const size_t star = pattern.find('*');
    if (star == std::string::npos)
        return pattern == name;
    const std::string head = pattern.substr(0, star), tail = pattern.substr(star + 1);
    return name.size() > head.size() + tail.size() && name.compare(0, head.size(), head) == 0 &&
           name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(BridgeTopics, DiscoveryOffersEveryVariableAsTheRightEntityWithItsLimitsAndUnits)
{
    const DiscoveryDevice d{"8a3c", "q/8a3c", "Quintavolte 1.11", 111, "ha/test"};
    const std::vector<MqttMessage> messages = DiscoveryMessages(d, MapNames(mbaRead), MapNames(mbaWrite));

    // Expected fields; "" means the field must be absent. Limits and units are the
    // device's real ones, not the types' ranges.
    const std::string floatMax = "3.4028235e+38", floatMin = "-3.4028235e+38";  // the float's own digits
    const std::string baud = "[\"1200\",\"2400\",\"4800\",\"9600\",\"19200\",\"38400\",\"57600\",\"115200\"]";
    // In English unless asked otherwise: the home-automation side keeps the text as the state.
    const std::string modes = "[\"Modbus control\",\"Panel OK\",\"Battery charging\",\"Battery charged\","
                              "\"Battery low\",\"Load on\"]";
    struct Row {
        std::string Name, Component, Class, Unit, StateClass, Category, Min, Max, Step, Options;
        int Count;  // variables the row stands for
    };
    const Row rows[] = {
        // name                     component        class          unit    state class         category
        {"status", "binary_sensor", "connectivity", "", "", "diagnostic", "", "", "", "", 1},
        {"DeviceType", "sensor", "", "", "", "diagnostic", "", "", "", "", 1},
        {"Adc.AvddVoltage", "sensor", "voltage", "V", "measurement", "diagnostic", "", "", "", "", 1},
        {"Adc.I_*", "sensor", "current", "A", "measurement", "", "", "", "", "", 3},
        {"Adc.U_*", "sensor", "voltage", "V", "measurement", "", "", "", "", "", 3},
        {"Adc.Power*", "sensor", "power", "W", "measurement", "", "", "", "", "", 3},
        {"Adc.Temp_External", "sensor", "temperature", "°C", "measurement", "", "", "", "", "", 1},
        {"Adc.UserAdcV*", "sensor", "voltage", "V", "measurement", "", "", "", "", "", 2},
        {"Adc.Energy*/sensor", "sensor", "energy", "Wh", "total_increasing", "", "", "", "", "", 4},
        {"Adc.Energy*/number", "number", "energy", "Wh", "", "config", "0", floatMax, "0.001", "", 4},
        {"Reg.bLoadIsOn", "binary_sensor", "power", "", "", "", "", "", "", "", 1},
        {"Reg.Training*Energy", "sensor", "energy", "Wh", "total_increasing", "", "", "", "", "", 2},
        {"Di*.CurState", "binary_sensor", "", "", "", "", "", "", "", "", 4},
        {"Di*.ChangesCounter/sensor", "sensor", "", "", "total_increasing", "diagnostic", "", "", "", "", 4},
        {"Di*.ChangesCounter/number", "number", "", "", "", "config", "0", "4294967295", "1", "", 4},
        {"Di*.Frequency", "sensor", "frequency", "Hz", "measurement", "", "", "", "", "", 4},
        {"Di*.DutyCycle", "sensor", "", "%", "measurement", "", "", "", "", "", 4},
        {"Rtc.*Hours", "sensor", "duration", "h", "total_increasing", "diagnostic", "", "", "", "", 2},
        {"Mb.MyModbusAddr", "number", "", "", "", "config", "1", "247", "1", "", 1},
        {"485.Init.BaudRate", "select", "", "", "", "config", "", "", "", baud, 1},
        {"ResetConfigToDefaults", "button", "", "", "", "config", "", "", "", "", 1},
        {"SaveConfigToRomNow", "button", "", "", "", "config", "", "", "", "", 1},
        {"Cal_*.ZeroOffset", "number", "", "", "", "config", floatMin, floatMax, "0.001", "", 8},
        {"Cal_*.Mul", "number", "", "", "", "config", floatMin, floatMax, "0.001", "", 8},
        {"Cal_*.PreciseValue", "number", "", "", "", "config", floatMin, floatMax, "0.001", "", 8},
        {"Cal_*Mode", "button", "", "", "", "config", "", "", "", "", 16},
        {"Reg.Charge*U", "number", "voltage", "V", "", "config", "0", "100", "0.1", "", 2},
        {"Reg.Load*U", "number", "voltage", "V", "", "config", "0", "100", "0.1", "", 2},
        {"Reg.ChargeI", "number", "current", "A", "", "config", "0", "100", "0.1", "", 1},
        {"Reg.VoltTempCoef", "number", "", "mV/(V*C)", "", "config", "-100", "100", "0.01", "", 1},
        {"Reg.bModeCharger", "switch", "", "", "", "config", "", "", "", "", 1},
        {"Reg.bNightLightMode", "switch", "", "", "", "config", "", "", "", "", 1},
        {"Reg.bForceLoadOff", "switch", "", "", "", "", "", "", "", "", 1},
        {"Reg.TrainingCycleCount", "number", "", "", "", "", "0", "65535", "1", "", 1},
        {"Do*.State", "switch", "", "", "", "", "", "", "", "", 4},
        {"Do*.Mode", "select", "", "", "", "config", "", "", "", modes, 4},
        {"Extremes.bReset", "button", "", "", "", "config", "", "", "", "", 1},
    };
    std::map<const Row *, int> seen;
    for (const MqttMessage &m : messages) {
        EXPECT_TRUE(m.Retained) << m.Topic;
        std::map<std::string, std::string> f = Fields(m.Payload);
        const std::string name = f["name"];
        const std::string component = m.Topic.substr(8, m.Topic.find('/', 8) - 8);  // after "ha/test/"
        const Row *row = nullptr;
        for (const Row &r : rows) {
            const size_t slash = r.Name.find('/');
            if (Matches(r.Name.substr(0, slash), name) && r.Component == component) {
                EXPECT_EQ(row, nullptr) << name << " matches two rows";
                row = &r;
            }
        }
        if (row == nullptr) {
            ADD_FAILURE() << "not expected: " << m.Topic;
            continue;
        }
        ++seen[row];
        std::string object = name;
        std::replace(object.begin(), object.end(), '.', '_');
        EXPECT_EQ(m.Topic, "ha/test/" + component + "/quintavolte_8a3c/" + object + "/config");
        const std::pair<const char *, std::string> expected[] = {{"device_class", row->Class},
                                                                 {"unit_of_measurement", row->Unit},
                                                                 {"state_class", row->StateClass},
                                                                 {"entity_category", row->Category},
                                                                 {"min", row->Min},
                                                                 {"max", row->Max},
                                                                 {"step", row->Step},
                                                                 {"options", row->Options}};
        for (const auto &[key, value] : expected)
            EXPECT_EQ(f.count(key) != 0 ? f[key] : "", value) << name << " " << component << " " << key;
        // Controls take commands; buttons and write-only commands show no state.
        const bool control =
            component == "number" || component == "select" || component == "switch" || component == "button";
        EXPECT_EQ(f.count("command_topic") != 0 ? f["command_topic"] : "", control ? "q/8a3c/set/" + name : "") << name;
        const bool writeOnly = name == "ResetConfigToDefaults" || name.rfind("Cal_I_Solar.Calibrate", 0) == 0;
        EXPECT_EQ(f.count("state_topic") != 0 ? f["state_topic"] : "", component == "button" || writeOnly ? ""
                                                                       : name == "status" ? "q/8a3c/status"
                                                                                          : "q/8a3c/" + name)
            << name;
        EXPECT_EQ(f.count("payload_press") != 0 ? f["payload_press"] : "", component == "button" ? "1" : "") << name;
        EXPECT_EQ(f.count("object_id"), 0u) << name;  // replaced by default_entity_id
        EXPECT_EQ(f["default_entity_id"], component + ".quintavolte_8a3c_" + Lower(object)) << name;
        EXPECT_EQ(f["unique_id"], "quintavolte_8a3c_" + component + "_" + object) << name;
        EXPECT_EQ(Fields(f["device"])["manufacturer"], "Quintavolte") << name;
        EXPECT_EQ(Fields(f["device"])["identifiers"], "[\"quintavolte_8a3c\"]") << name;
        EXPECT_EQ(Fields(f["origin"])["name"], "quintavolte-cli mqtt") << name;
        EXPECT_EQ(Fields(f["origin"])["sw_version"], QV_VERSION_TEXT) << name;
        // Every entity but the link's own is unavailable unless the device is online.
        EXPECT_EQ(f.count("availability_topic") != 0 ? f["availability_topic"] : "",
                  name == "status" ? "" : "q/8a3c/status")
            << name;
    }
    for (const Row &r : rows)
        EXPECT_EQ(seen[&r], r.Count) << r.Name << " " << r.Component;
    EXPECT_EQ(messages.size(), 111u);

    // Before version 1.11 the device has no output modes to offer.
    const DiscoveryDevice old{"8a3c", "q/8a3c", "Quintavolte 1.10", 110, "ha/test"};
    for (const MqttMessage &m : DiscoveryMessages(old, {}, MapNames(mbaWrite)))
        EXPECT_EQ(m.Topic.find("Mode/config") != std::string::npos && m.Topic.find("Do") != std::string::npos, false)
            << m.Topic;
}

TEST(BridgeTopics, DiscoveryTopicsOfOneDeviceAndTheSelectsTemplates)
{
    const DiscoveryDevice d{"8a3c", "q/8a3c", "Quintavolte 1.11", 111, "homeassistant"};
    EXPECT_EQ(DiscoveryFilter(d), "homeassistant/+/quintavolte_8a3c/+/config");
    const struct {
        const char *Topic;
        bool Ours;
    } topics[] = {
        {"homeassistant/number/quintavolte_8a3c/Do1_Mode/config", true},
        {"homeassistant/sensor/quintavolte_8a3c/Adc_U_Accu/config", true},
        {"homeassistant/sensor/quintavolte_8a3d/Adc_U_Accu/config", false},  // another device
        {"homeassistant/sensor/quintavolte_8a3c/Adc_U_Accu/state", false},
        {"homeassistant/sensor/quintavolte_8a3c/a/b/config", false},
        {"homeassistant/quintavolte_8a3c/x/config", false},
        {"other/sensor/quintavolte_8a3c/Adc_U_Accu/config", false},
        {"homeassistant/sensor/quintavolte_8a3cc/Adc_U_Accu/config", false},
    };
    for (const auto &t : topics)
        EXPECT_EQ(IsDiscoveryTopic(t.Topic, d), t.Ours) << t.Topic;

    // The mode is a number on the wire and a text in the list, in the language asked for.
    DiscoveryDevice russian = d;
    russian.English = false;
    EXPECT_EQ(Fields(DiscoveryMessages(d, {}, {"Do2.Mode"}).at(1).Payload)["command_template"],
              "{{ {\"Modbus control\": 0, \"Panel OK\": 1, \"Battery charging\": 2, \"Battery charged\": 3, "
              "\"Battery low\": 4, \"Load on\": 5}[value] }}");
    const std::vector<MqttMessage> m = DiscoveryMessages(russian, {}, {"Do2.Mode"});
    ASSERT_EQ(m.size(), 2u);
    std::map<std::string, std::string> f = Fields(m[1].Payload);
    EXPECT_EQ(f["command_template"], "{{ {\"Управление по Modbus\": 0, \"Панель ОК\": 1, \"АКБ заряжается\": 2, "
                                     "\"АКБ заряжена\": 3, \"АКБ разряжена\": 4, \"Нагрузка включена\": 5}[value] }}");
    EXPECT_NE(f["value_template"].find("m[value | int]"), std::string::npos) << f["value_template"];
    EXPECT_EQ(f["availability_template"], "{{ 'online' if value == 'online' else 'offline' }}");
    EXPECT_TRUE(IsSwitchVariable("Do1.State"));
    EXPECT_FALSE(IsSwitchVariable("Extremes.bReset"));  // a command: a button
    EXPECT_FALSE(IsSwitchVariable("Do1.Mode"));
    EXPECT_FALSE(IsSwitchVariable("Reg.TrainingCycleCount"));
}

}  // namespace
