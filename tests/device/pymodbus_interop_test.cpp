// Interoperability: the device connection against an independent Modbus RTU server
// (pymodbus) over a socat pseudo-terminal pair. The server's register words are set
// here by hand from the device's encoding, and its log of received writes shows the raw
// registers, so an encoding mistake shared by our engine and our stand-in shows up.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "DeviceTestUtil.h"
#include "device/ActionManager.h"
#include "port/PortList.h"

using testutil::ChildProcess;
using testutil::U16;

namespace {

std::string ServerScript()
{
    // The source folder comes from the build: __FILE__ may be relative under a compiler cache.
    return std::string(QV_TESTS_SOURCE_DIR) + "/device/pymodbus_server.py";
}

bool Exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class PymodbusInteropTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConsecutiveTimeouts = 0;
        char dir[] = "/tmp/qv-interop-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        const std::string serverEnd = dir_ + "/server", clientEnd = dir_ + "/client";
        ASSERT_TRUE(socat_.Start(
            {"/usr/bin/socat", "-d", "-d", "pty,raw,echo=0,link=" + serverEnd, "pty,raw,echo=0,link=" + clientEnd}))
            << "socat is missing";
        ASSERT_TRUE(testutil::WaitUntil([&] { return Exists(serverEnd) && Exists(clientEnd); }, 5000))
            << "socat made no pty pair: " << socat_.Stderr();

        // Register words as the device encodes them: low register first, each word big-endian
        // on the wire, ASCII with its first character in the low byte.
        const std::vector<std::string> words = {
            "110=7551,6E69,6174,6F76,746C,2065,2E31,3131,0000,0000",  // "Quintavolte 1.11"
            "140=1F07,8A3C",                                          // ChipUID.H1 = 0x8A3C1F07
            "2002=6666,4166",                                         // Reg.ChargeMaxU = 14.4f
            "6000=FB2E",                                              // Extremes.Max_U_Accu = -1234
        };
        std::vector<std::string> argv = {"/usr/bin/python3", ServerScript(), "--port", serverEnd};
        for (const std::string &w : words) {
            argv.push_back("--set");
            argv.push_back(w);
        }
        ASSERT_TRUE(server_.Start(argv));
        const std::string ready = server_.FirstLine(15000);
        ASSERT_EQ(ready, "READY") << "the pymodbus server did not start: " << server_.Stderr();
        SetExplicitPorts({clientEnd});
    }
    void TearDown() override
    {
        manager.Shell.PollingEnabled = false;
        manager.Shell.Port.Close();
        server_.Stop();
        socat_.Stop();
        SetExplicitPorts({});
        ConsecutiveTimeouts = 0;
        const std::string cmd = "rm -rf '" + dir_ + "'";
        (void)!std::system(cmd.c_str());
    }

    ModbusAction *Var(const char16_t *name) { return manager.Shell.FindVariable(MString(name)); }
    uint32_t Read(ModbusAction *v)
    {
        manager.GetValue(v->Name);
        return Pump(v);
    }
    // Runs the scheduler until the variable's exchange has ended (bounded).
    uint32_t Pump(ModbusAction *v)
    {
        testutil::WaitUntil([v] { return v->State != mbsRequested && v->State != mbsSent; }, 3000,
                            [this] {
                                manager.TickScheduler();
                                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            });
        return v->State;
    }
    // The server's next log line about a write.
    std::string NextWrite() { return server_.FirstLine(3000); }

    std::string dir_;
    ChildProcess socat_;
    ChildProcess server_;
    testutil::MessageRecorder messages;
    cActionManager manager;
};

TEST_F(PymodbusInteropTest, ReadsAndWritesAgreeWithAnIndependentServer)
{
    ASSERT_TRUE(manager.Connect()) << server_.Stderr();
    EXPECT_EQ(manager.VersionX100, 111);
    EXPECT_EQ(U16(Var(u"DeviceType")->Value), u"Quintavolte 1.11");

    struct Expect {
        const char16_t *name;
        double value;
    } reads[] = {
        {u"ChipUID.H1", 2319195911.0},
        {u"Reg.ChargeMaxU", 14.4},
        {u"Extremes.Max_U_Accu", -1234},
    };
    for (const auto &r : reads) {
        ModbusAction *v = Var(r.name);
        ASSERT_EQ(Read(v), mbsDone) << v->Name.ToUtf8();
        EXPECT_NEAR(v->Value.ToReal(), r.value, 1e-4) << v->Name.ToUtf8();
    }

    // Writes, seen as raw registers by the server.
    ASSERT_TRUE(manager.WriteNumber(MString(u"Reg.ChargeMinU"), 12.5f));
    EXPECT_EQ(NextWrite(), "WRITE 2000 0000 4148");  // 12.5f = 0x41480000, low half first
    ASSERT_TRUE(manager.WriteNumber(MString(u"Do1.Mode"), 3));
    EXPECT_EQ(NextWrite(), "WRITE 4001 0003");
    ASSERT_TRUE(manager.WriteNumber(MString(u"Di1.ChangesCounter"), 70000));
    EXPECT_EQ(NextWrite(), "WRITE 3000 1170 0001");  // 70000 = 0x00011170
    ModbusAction *type = Var(u"DeviceType");
    type->Access = mbaReadWrite;  // read-only on the device; here only its encoding is checked
    ASSERT_TRUE(manager.Shell.RequestWrite(type, MString(u"ABC")));
    EXPECT_EQ(Pump(type), mbsDone);  // the asynchronous write goes out with the ticks
    EXPECT_EQ(NextWrite(), "WRITE 110 4241 0043 0000");
    EXPECT_EQ(Read(type), mbsDone);
    EXPECT_EQ(U16(type->Value), u"ABC");

    // And read back through our side.
    ModbusAction *minU = Var(u"Reg.ChargeMinU");
    minU->Value = MString(u"--");
    ASSERT_EQ(Read(minU), mbsDone);
    EXPECT_DOUBLE_EQ(minU->Value.ToReal(), 12.5);
    ModbusAction *counter = Var(u"Di1.ChangesCounter");
    ASSERT_EQ(Read(counter), mbsDone);
    EXPECT_TRUE(counter->Value.Equals(u"70000"));
    EXPECT_TRUE(messages.texts.empty());
}

}  // namespace
