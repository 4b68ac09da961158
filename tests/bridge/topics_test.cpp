// The bridge's command line and the texts it publishes: options checked against the register
// map, the device id, C-locale value texts, set topics, the info record and discovery.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bridge/BridgeOptions.h"
#include "bridge/BridgeTopics.h"

namespace {

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
        {{"--broker", "h", "--interval", "5"}, false, "--interval"},
        {{"--broker", "h", "--password-file", password}, false, "goes with --username"},
        {{"--broker", "h", "--username", "u", "--password-file", "/nonexistent/pw"}, false, "cannot read"},
        {{"--broker", "h", "--tls-ca", "/nonexistent/ca.pem"}, false, "cannot read"},
        {{"--broker", "h", "--frob"}, false, "unknown option --frob"},
        {{"--broker", "h", "extra"}, false, "no argument extra"},
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
    std::remove(password.c_str());
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

TEST(BridgeTopics, NumbersGoOutWithADecimalPoint)
{
    ModbusAction v;
    v.Type = mbtFloat;
    v.Value = MString(u"14,39999");
    EXPECT_EQ(ValueText(v), "14.39999");
    v.Type = mbtDouble;
    v.Value = MString(u"-0,5");
    EXPECT_EQ(ValueText(v), "-0.5");
    v.Type = mbtAscii;  // a text keeps its commas
    v.Value = MString(u"a,b");
    EXPECT_EQ(ValueText(v), "a,b");

    // Formatted in a comma locale, published with a point.
    const MString warm(u"x");  // the string class switches to the user's locale once
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") == nullptr)
        GTEST_SKIP() << "no ru_RU.UTF-8 locale";
    v.Type = mbtFloat;
    v.Value = MString::FromReal(12.5, 10, 5);
    EXPECT_EQ(v.Value.ToUtf8(), "12,5");
    EXPECT_EQ(ValueText(v), "12.5");
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

const MqttMessage *FindTopic(const std::vector<MqttMessage> &messages, const std::string &topic)
{
    for (const MqttMessage &m : messages)
        if (m.Topic == topic)
            return &m;
    return nullptr;
}

TEST(BridgeTopics, DiscoveryDescribesMeasurementsAndWritableNamesOfOneDevice)
{
    const DiscoveryDevice d{"8a3c", "q/8a3c", "Quintavolte 1.11", 111};
    const std::vector<MqttMessage> m =
        DiscoveryMessages(d, {"Adc.U_Accu", "Adc.Temp_External", "Adc.EnergySolar", "Reg.ChargeMaxU", "DeviceType"},
                          {"Reg.bForceLoadOff", "Reg.ChargeMaxU", "Do2.State", "ResetConfigToDefaults"});
    // Three measurements, four writable names; the set-point and the type text get no sensor.
    ASSERT_EQ(m.size(), 7u);
    for (const MqttMessage &c : m) {
        EXPECT_TRUE(c.Retained) << c.Topic;
        EXPECT_NE(c.Payload.find("\"identifiers\":[\"quintavolte_8a3c\"]"), std::string::npos) << c.Topic;
        EXPECT_NE(c.Payload.find("\"availability_topic\":\"q/8a3c/status\""), std::string::npos) << c.Topic;
    }
    struct Expect {
        std::string Topic;
        std::vector<std::string> Parts;
    };
    const Expect expected[] = {
        {"homeassistant/sensor/quintavolte_8a3c/Adc_U_Accu/config",
         {"\"state_topic\":\"q/8a3c/Adc.U_Accu\"", "\"device_class\":\"voltage\"", "\"unit_of_measurement\":\"V\""}},
        {"homeassistant/sensor/quintavolte_8a3c/Adc_Temp_External/config",
         {"\"device_class\":\"temperature\"", "\"unit_of_measurement\":\"°C\""}},
        {"homeassistant/sensor/quintavolte_8a3c/Adc_EnergySolar/config",
         {"\"device_class\":\"energy\"", "\"unit_of_measurement\":\"Wh\"", "\"state_class\":\"total_increasing\""}},
        {"homeassistant/switch/quintavolte_8a3c/Reg_bForceLoadOff/config",
         {"\"command_topic\":\"q/8a3c/set/Reg.bForceLoadOff\"", "\"payload_on\":\"1\"", "\"payload_off\":\"0\""}},
        {"homeassistant/switch/quintavolte_8a3c/Do2_State/config", {"\"state_topic\":\"q/8a3c/Do2.State\""}},
        {"homeassistant/number/quintavolte_8a3c/Reg_ChargeMaxU/config",
         {"\"command_topic\":\"q/8a3c/set/Reg.ChargeMaxU\"", "\"unit_of_measurement\":\"V\"", "\"step\":0.001"}},
        {"homeassistant/number/quintavolte_8a3c/ResetConfigToDefaults/config", {"\"max\":65535"}},
    };
    for (const Expect &e : expected) {
        const MqttMessage *c = FindTopic(m, e.Topic);
        ASSERT_NE(c, nullptr) << e.Topic;
        for (const std::string &part : e.Parts)
            EXPECT_NE(c->Payload.find(part), std::string::npos) << e.Topic << " lacks " << part << "\n" << c->Payload;
    }
    // A command that can only be written has no state to follow.
    EXPECT_EQ(FindTopic(m, expected[6].Topic)->Payload.find("state_topic"), std::string::npos);
    EXPECT_TRUE(IsSwitchVariable("Extremes.bReset"));
    EXPECT_FALSE(IsSwitchVariable("Do1.Mode"));
    EXPECT_FALSE(IsSwitchVariable("Reg.TrainingCycleCount"));
}

}  // namespace
