// The bridge as a user runs it: quintavolte-cli mqtt between the stand-in on a
// pseudo-terminal and Debian's broker, watched by a subscriber of its own.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include "bridge/MqttTestUtil.h"

namespace {

using testutil::Subscriber;

constexpr char kBase[] = "qvtest/8a3c1f07004122331234abcd/";
constexpr int kWaitMs = 10000;

std::string Topic(const std::string &sub) { return kBase + sub; }

class BridgeOnBroker : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim_.Start({"--log", dir_.File("writes.log")})) << sim_.Stderr();
        // The bridge runs in a comma locale; the broker must get decimal points all the same.
        setenv("LC_ALL", "ru_RU.UTF-8", 1);
    }
    void TearDown() override { unsetenv("LC_ALL"); }

    void StartBridge(int port, const std::vector<std::string> &extra = {})
    {
        std::vector<std::string> argv{QUINTAVOLTE_CLI_PATH, "--port", sim_.Path(), "mqtt", "--broker",
                                      "127.0.0.1:" + std::to_string(port), "--prefix", "qvtest", "--interval", "200",
                                      "--names", "DeviceType,485.Init.BaudRate,Reg.ChargeMaxU,Reg.ChargeI,Adc.U_Accu",
                                      "--writable", "Reg.ChargeMaxU"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        ASSERT_TRUE(bridge_.Start(argv));
    }
    std::string WriteLog() const { return testutil::ReadText(dir_.File("writes.log")); }

    testutil::TempDir dir_;
    testutil::LinkedSim sim_{dir_.File("tty")};
    testutil::Broker broker_{dir_.File("")};
    testutil::ChildProcess bridge_;
};

TEST_F(BridgeOnBroker, PublishesRetainedValuesCarriesOutAllowedSetsAndSurvivesABrokerRestart)
{
    ASSERT_TRUE(broker_.Start()) << broker_.Stderr();
    StartBridge(broker_.Port());
    Subscriber watch(broker_.Port(), "qvtest/#");
    ASSERT_TRUE(watch.Connected());
    ASSERT_GE(watch.WaitFor(Topic("status"), "online", kWaitMs), 0) << bridge_.Stderr();
    ASSERT_GE(watch.WaitFor(Topic("Reg.ChargeMaxU"), "14.39999", kWaitMs), 0) << watch.Dump();

    // A newcomer gets the values the broker kept.
    {
        const struct {
            const char *Sub;
            std::string Payload;
        } kept[] = {
            {"status", "online"},
            {"DeviceType", "Quintavolte 1.11"},
            {"485.Init.BaudRate", "9600"},
            {"Reg.ChargeMaxU", "14.39999"},
            {"info", "{\"type\":\"Quintavolte 1.11\",\"version\":\"1.11\",\"port\":\"" + sim_.Path() + "\"}"},
        };
        // The first round publishes in no fixed order: all of it must be out first.
        for (const auto &k : kept)
            ASSERT_GE(watch.WaitFor(Topic(k.Sub), k.Payload, kWaitMs), 0) << k.Sub << "\n" << watch.Dump();
        Subscriber late(broker_.Port(), "qvtest/#");
        for (const auto &k : kept) {
            const int i = late.WaitFor(Topic(k.Sub), k.Payload, kWaitMs);
            ASSERT_GE(i, 0) << k.Sub << "\n" << late.Dump();
            EXPECT_TRUE(late.Messages()[size_t(i)].Retained) << k.Sub;
        }
    }

    // An allowed set reaches the device and is answered; a refused one writes nothing.
    watch.Publish(Topic("set/Reg.ChargeMaxU"), "14.2");
    ASSERT_GE(watch.WaitFor(Topic("result/Reg.ChargeMaxU"), "ok", kWaitMs), 0) << watch.Dump();
    EXPECT_GE(watch.WaitFor(Topic("Reg.ChargeMaxU"), "14.19999", kWaitMs), 0) << watch.Dump();
    watch.Publish(Topic("set/Reg.ChargeI"), "3");
    ASSERT_GE(watch.WaitFor(Topic("result/Reg.ChargeI"), "refused: Reg.ChargeI is not writable", kWaitMs), 0)
        << watch.Dump();
    const std::string log = WriteLog();
    EXPECT_NE(log.find(" Reg.ChargeMaxU 2002 14.2"), std::string::npos) << log;
    EXPECT_EQ(log.find("Reg.ChargeI"), std::string::npos) << log;

    // The broker goes away and comes back empty: the bridge finds it and publishes it all again.
    const int port = broker_.Port();
    broker_.Stop();
    ASSERT_TRUE(broker_.Start(port)) << broker_.Stderr();
    const size_t mark = watch.Size();
    ASSERT_GE(watch.WaitFor(Topic("status"), "online", 3 * kWaitMs, mark), 0) << bridge_.Stderr() << watch.Dump();
    EXPECT_GE(watch.WaitFor(Topic("DeviceType"), "Quintavolte 1.11", kWaitMs, mark), 0) << watch.Dump();

    // Killed without a word: the broker speaks its last will.
    const size_t beforeKill = watch.Size();
    bridge_.Signal(SIGKILL);
    EXPECT_GE(watch.WaitFor(Topic("status"), "offline", kWaitMs, beforeKill), 0) << watch.Dump();
}

TEST_F(BridgeOnBroker, WaitsForABrokerThatIsDownAtStartAndStopsCleanly)
{
    const int port = testutil::FreeLoopbackPort();
    StartBridge(port);
    // The device is polled meanwhile: the bridge has found it before any broker exists.
    ASSERT_TRUE(testutil::WaitUntil([&] { return bridge_.Stderr().find("online on") != std::string::npos; }, kWaitMs))
        << bridge_.Stderr();
    ASSERT_TRUE(broker_.Start(port)) << broker_.Stderr();
    Subscriber watch(port, "qvtest/#");
    ASSERT_GE(watch.WaitFor(Topic("status"), "online", 4 * kWaitMs), 0) << bridge_.Stderr();
    ASSERT_GE(watch.WaitFor(Topic("485.Init.BaudRate"), "9600", kWaitMs), 0) << watch.Dump();

    const size_t mark = watch.Size();
    bridge_.Signal(SIGTERM);
    EXPECT_EQ(bridge_.WaitExit(kWaitMs), 0) << bridge_.Stderr();
    EXPECT_GE(watch.WaitFor(Topic("status"), "offline", kWaitMs, mark), 0) << watch.Dump();
    // Nothing was written through the bridge, so nothing was saved either.
    EXPECT_EQ(WriteLog(), "");
}

// A certificate authority and a server certificate for 127.0.0.1, made for the test.
bool MakeCertificates(const testutil::TempDir &dir)
{
    std::ofstream(dir.File("san.cnf")) << "subjectAltName=IP:127.0.0.1\n";
    const std::string d = "cd '" + dir.File("") + "' && ";
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    return std::system((d + "openssl req -x509" + ec + "-keyout ca.key -out ca.crt -days 2 -subj /CN=qv-test-ca" +
                        " >/dev/null 2>&1 && openssl req" + ec + "-keyout server.key -out server.csr" +
                        " -subj /CN=127.0.0.1 >/dev/null 2>&1 && openssl x509 -req -in server.csr -CA ca.crt" +
                        " -CAkey ca.key -CAcreateserial -out server.crt -days 2 -extfile san.cnf >/dev/null 2>&1")
                           .c_str()) == 0;
}

TEST_F(BridgeOnBroker, LogsInOverTlsAndSaysWhenTheBrokerRefusesIt)
{
    ASSERT_TRUE(MakeCertificates(dir_));
    const std::string passwd = "mosquitto_passwd -b -c '" + dir_.File("passwords") + "' solar 'pa ss' >/dev/null";
    ASSERT_EQ(std::system(passwd.c_str()), 0);
    std::ofstream(dir_.File("good")) << "pa ss\n";
    std::ofstream(dir_.File("bad")) << "wrong\n";
    broker_.AddConfig("allow_anonymous false\npassword_file " + dir_.File("passwords") + "\ncafile " +
                      dir_.File("ca.crt") + "\ncertfile " + dir_.File("server.crt") + "\nkeyfile " +
                      dir_.File("server.key") + "\n");
    ASSERT_TRUE(broker_.Start()) << broker_.Stderr();

    StartBridge(broker_.Port(), {"--tls-ca", dir_.File("ca.crt"), "--username", "solar", "--password-file",
                                 dir_.File("good")});
    Subscriber watch(broker_.Port(), "qvtest/#", dir_.File("ca.crt"), "solar", "pa ss");
    ASSERT_GE(watch.WaitFor(Topic("status"), "online", kWaitMs), 0) << bridge_.Stderr() << broker_.Stderr();
    EXPECT_GE(watch.WaitFor(Topic("DeviceType"), "Quintavolte 1.11", kWaitMs), 0) << watch.Dump();
    bridge_.Stop();

    StartBridge(broker_.Port(), {"--tls-ca", dir_.File("ca.crt"), "--username", "solar", "--password-file",
                                 dir_.File("bad")});
    auto refused = [&] { return bridge_.Stderr().find("refused the connection") != std::string::npos; };
    EXPECT_TRUE(testutil::WaitUntil(refused, kWaitMs)) << bridge_.Stderr();
}

}  // namespace
