// Reading and restoring settings against the stand-in device program, in process: lost
// replies, lost acknowledgements and a device that stops answering part way.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "DeviceTestUtil.h"
#include "device/ActionManager.h"
#include "device/SettingsTransfer.h"
#include "port/PortList.h"

#ifndef QUINTAVOLTE_SIM_PATH
#error "the end-to-end tests need the stand-in device program"
#endif

namespace {

class SettingsTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConsecutiveTimeouts = 0;
        char dir[] = "/tmp/qv-settings-transfer-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        log_ = dir_ + "/writes.log";
    }
    void TearDown() override
    {
        manager.Shell.PollingEnabled = false;
        manager.Shell.Port.Close();
        sim.Signal(SIGCONT);
        sim.Stop();
        SetExplicitPorts({});
        ConsecutiveTimeouts = 0;
        std::remove(log_.c_str());
        rmdir(dir_.c_str());
    }
    void Connect(std::vector<std::string> args)
    {
        args.insert(args.begin(), {QUINTAVOLTE_SIM_PATH, "--log", log_});
        ASSERT_TRUE(sim.Start(args));
        const std::string path = sim.FirstLine();
        ASSERT_FALSE(path.empty()) << sim.Stderr();
        SetExplicitPorts({path});
        ASSERT_TRUE(manager.Connect()) << sim.Stderr();
    }
    // "NAME value" of each write the stand-in stored.
    std::vector<std::string> Writes() const
    {
        std::vector<std::string> out;
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);) {
            std::istringstream f(line);
            std::string ms, name, reg, value;
            f >> ms >> name >> reg >> value;
            out.push_back(name + " " + value);
        }
        return out;
    }

    std::string dir_, log_;
    testutil::ChildProcess sim;
    testutil::MessageRecorder messages;
    cActionManager manager;
};

TEST_F(SettingsTransferTest, ASettingWhoseReplyWasLostIsReadAgain)
{
    // Every tenth reply is lost: three of the 31 settings on the first round.
    ASSERT_NO_FATAL_FAILURE(Connect({"--drop-every", "10"}));
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::string> unread;
    EXPECT_TRUE(ReadDeviceSettings(manager, &values, &unread));
    EXPECT_TRUE(unread.empty()) << unread.front();
    EXPECT_EQ(values.size(), 31u);
}

TEST_F(SettingsTransferTest, AWriteWhoseAcknowledgementWasLostCountsWhenTheDeviceHoldsIt)
{
    // Every second reply is lost: the connect's read is answered, then each write's
    // acknowledgement is lost and the read-back after it is answered.
    ASSERT_NO_FATAL_FAILURE(Connect({"--drop-every", "2"}));
    const std::vector<SettingChange> changes{{"Reg.ChargeMaxU", "14.4", "14.1", 3}, {"Reg.ChargeI", "2.6", "3.3", 4}};
    const RestoreOutcome out = ApplySettingChanges(manager, changes);
    EXPECT_TRUE(out.Failed.empty()) << out.Failed.front();
    EXPECT_EQ(out.Written, 2);
    EXPECT_TRUE(out.NotPutBack.empty());
    EXPECT_FALSE(manager.HoldSave);
    const std::vector<std::string> writes = Writes();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0], "Reg.ChargeMaxU 14.1");
    EXPECT_EQ(writes[1], "Reg.ChargeI 3.3");
}

TEST_F(SettingsTransferTest, ADeviceThatStopsAnsweringPartWayStopsTheRestoreAndHoldsTheSave)
{
    // Replies come late but in time, so the stand-in can be frozen between storing the
    // first write and acknowledging it.
    ASSERT_NO_FATAL_FAILURE(Connect({"--delay", "300"}));
    std::atomic<bool> done{false}, frozen{false};
    std::thread watcher([&] {
        while (!done.load() && Writes().empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        frozen = sim.Signal(SIGSTOP);
    });
    const std::vector<SettingChange> changes{
        {"Reg.ChargeMaxU", "14.4", "14.1", 3}, {"Reg.ChargeI", "2.6", "3.3", 4}, {"Reg.LoadOnU", "12", "12.9", 5}};
    const RestoreOutcome out = ApplySettingChanges(manager, changes);
    done = true;
    watcher.join();
    ASSERT_TRUE(frozen.load());

    // The device took the first write, but nothing it said confirms it: the restore
    // stopped there, could not put it back and will not let it be saved.
    EXPECT_EQ(Writes(), std::vector<std::string>{"Reg.ChargeMaxU 14.1"});
    ASSERT_EQ(out.Failed.size(), 1u);
    EXPECT_EQ(out.Failed[0], "Reg.ChargeMaxU: no reply to the write, and the read-back failed: no reply");
    EXPECT_EQ(out.Written, 0);
    EXPECT_TRUE(out.PutBack.empty());
    ASSERT_EQ(out.NotPutBack.size(), 1u);
    EXPECT_EQ(out.NotPutBack[0].rfind("Reg.ChargeMaxU: ", 0), 0u) << out.NotPutBack[0];
    EXPECT_FALSE(out.Saved);
    EXPECT_TRUE(out.SaveHeld);
    EXPECT_TRUE(manager.HoldSave);

    // Once it answers again, a disconnect does not save what it holds.
    ASSERT_TRUE(sim.Signal(SIGCONT));
    manager.Disconnect();
    for (const std::string &w : Writes())
        EXPECT_EQ(w.find("SaveConfigToRomNow"), std::string::npos) << w;
}

}  // namespace
