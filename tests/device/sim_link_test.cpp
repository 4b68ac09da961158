// End to end: the device connection against the stand-in device program over a
// pseudo-terminal. Every wait is bounded; nothing here measures time. A device that has
// gone silent is waited out on the fake clock (FreezeTime), so its time-outs pass at once.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "DeviceTestUtil.h"
#include "device/ActionManager.h"
#include "device/DeviceDump.h"
#include "port/PortList.h"
#include "port/SerialPortProbe.h"

#ifndef QUINTAVOLTE_SIM_PATH
#error "the end-to-end tests need the stand-in device program"
#endif

using testutil::ChildProcess;
using testutil::U16;

namespace {

bool FileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class SimLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConsecutiveTimeouts = 0;
        char dir[] = "/tmp/qv-sim-link-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        tempDir_ = dir;
    }
    void TearDown() override
    {
        clock_.reset();
        manager.Shell.PollingEnabled = false;
        manager.Shell.Port.Close();
        sim.Stop();
        SetExplicitPorts({});
        ConsecutiveTimeouts = 0;
        std::string cmd = "rm -rf '" + tempDir_ + "'";
        (void)!std::system(cmd.c_str());
    }

    void StartSim(std::vector<std::string> args)
    {
        sim.Stop();
        args.insert(args.begin(), QUINTAVOLTE_SIM_PATH);
        ASSERT_TRUE(sim.Start(args));
        const std::string path = sim.FirstLine();
        ASSERT_FALSE(path.empty()) << "the stand-in did not start: " << sim.Stderr();
        SetExplicitPorts({path});
    }
    void Connect(std::vector<std::string> args = {})
    {
        ASSERT_NO_FATAL_FAILURE(StartSim(std::move(args)));
        ASSERT_TRUE(manager.Connect()) << sim.Stderr();
    }

    ModbusAction *Var(const char16_t *name) { return manager.Shell.FindVariable(MString(name)); }

    // From now on the engine's clock moves only with the scheduler's turns (and its sleeps),
    // ten milliseconds a turn: a silent device's time-outs pass without real waiting.
    void FreezeTime() { clock_ = std::make_unique<testutil::FakeClock>(GetTickCount32()); }

    // Runs the scheduler as the window's heartbeat would, until pred holds or the bound passes.
    template <typename Pred> bool Pump(Pred pred, int timeoutMs = 3000)
    {
        return testutil::WaitUntil(pred, timeoutMs, [this] {
            manager.TickScheduler();
            if (clock_)
                clock_->Advance(10);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    // Asks for the variable and runs the scheduler until its exchange has ended.
    uint32_t Read(ModbusAction *v)
    {
        manager.GetValue(v->Name);
        Pump([&] { return v->State != mbsRequested && v->State != mbsSent; });
        return v->State;
    }

    std::string tempDir_;
    std::unique_ptr<testutil::FakeClock> clock_;
    ChildProcess sim;
    testutil::MessageRecorder messages;
    cActionManager manager;
};

TEST_F(SimLinkTest, ConnectIdentifiesTheDeviceAndItsVersion)
{
    struct Case {
        std::vector<std::string> args;
        int32_t version;
        const char16_t *type;
    } cases[] = {
        {{}, 111, u"Quintavolte 1.11"},
        {{"--version", "1.10"}, 110, u"Quintavolte 1.10"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version);
        ASSERT_NO_FATAL_FAILURE(Connect(c.args));
        EXPECT_TRUE(manager.Identified);
        EXPECT_TRUE(manager.Shell.PollingEnabled);
        EXPECT_EQ(manager.VersionX100, c.version);
        EXPECT_EQ(U16(Var(u"DeviceType")->Value), std::u16string(c.type));
        // Nothing else has been read yet.
        int unread = 0;
        for (int i = 0; ModbusAction *v = manager.Shell.Actions.At(i); ++i)
            unread += v->Value.Equals(u"--") ? 1 : 0;
        EXPECT_EQ(unread, 119);
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(SimLinkTest, AnotherKindOfDeviceIsGivenUpAfterItsFirstAnswer)
{
    ASSERT_NO_FATAL_FAILURE(StartSim({"--type", "Other 1.0"}));
    EXPECT_FALSE(manager.Connect());
    EXPECT_FALSE(manager.Identified);
    EXPECT_FALSE(manager.Shell.PollingEnabled);
    ModbusAction *type = Var(u"DeviceType");
    EXPECT_EQ(type->State, mbsDone);
    EXPECT_EQ(U16(type->Value), u"Other 1.0");
}

TEST_F(SimLinkTest, ValuesAreReadAndWrittenByName)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    struct Expect {
        const char16_t *name;
        const char16_t *value;
    } reads[] = {
        {u"485.Init.BaudRate", u"9600"},
        {u"ChipUID.H1", u"2319195911"},  // above 2^31
        {u"Mb.MyModbusAddr", u"1"},
    };
    for (const auto &r : reads) {
        ModbusAction *v = Var(r.name);
        ASSERT_EQ(Read(v), mbsDone) << v->Name.ToUtf8();
        EXPECT_EQ(U16(v->Value), std::u16string(r.value));
    }
    // GetValue hands out the text and marks the variable; the value arrives with the ticks.
    EXPECT_TRUE(manager.GetValue(MString(u"Reg.ChargeI")).Equals(u"--"));
    ASSERT_TRUE(Pump([&] { return !manager.GetValue(MString(u"Reg.ChargeI")).Equals(u"--"); }));

    ModbusAction *maxU = Var(u"Reg.ChargeMaxU");
    EXPECT_TRUE(manager.WriteNumber(maxU->Name, 14.2f));
    maxU->Value = MString(u"--");
    ASSERT_EQ(Read(maxU), mbsDone);
    EXPECT_NEAR(maxU->Value.ToReal(), 14.2, 1e-4);

    ModbusAction *mode = Var(u"Do2.Mode");
    EXPECT_TRUE(manager.WriteNumber(mode->Name, 3));
    mode->Value = MString(u"--");
    ASSERT_EQ(Read(mode), mbsDone);
    EXPECT_TRUE(mode->Value.Equals(u"3"));

    // The asynchronous write of the trees, with a decimal comma.
    ModbusAction *minU = Var(u"Reg.ChargeMinU");
    manager.Shell.RequestWrite(minU, MString(u"12,5"));
    ASSERT_TRUE(Pump([&] { return minU->State == mbsDone && !minU->WritePending; }));
    ASSERT_EQ(Read(minU), mbsDone);
    EXPECT_DOUBLE_EQ(minU->Value.ToReal(), 12.5);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(SimLinkTest, AWriteGoesOutAheadOfEveryVariableMarkedForReading)
{
    // A screen full of marked variables takes seconds to read at 9600 baud; an operator's
    // write must not wait behind them past its bound, in either of its two waits.
    ASSERT_NO_FATAL_FAILURE(Connect());
    auto markAll = [&](uint32_t state) {
        for (int i = 0; ModbusAction *v = manager.Shell.Actions.At(i); ++i)
            if (v->State != mbsSent)
                v->State = state;
    };
    ModbusAction *maxU = Var(u"Reg.ChargeMaxU");
    for (float value : {14.25f, 13.75f}) {
        markAll(mbsRequested);
        EXPECT_TRUE(manager.WriteNumber(maxU->Name, value)) << value;
        EXPECT_FALSE(maxU->WritePending);
        ASSERT_TRUE(Pump([&] {
            markAll(mbsDone);
            return manager.Shell.Engine.PendingCount() == 0;
        }));
        maxU->Value = MString(u"--");
        ASSERT_EQ(Read(maxU), mbsDone);
        EXPECT_NEAR(maxU->Value.ToReal(), value, 1e-4);
    }
}

TEST_F(SimLinkTest, DisconnectAsksTheDeviceToSaveItsConfiguration)
{
    const std::string state = tempDir_ + "/device.state";
    ASSERT_NO_FATAL_FAILURE(Connect({"--state", state}));
    ASSERT_TRUE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), 14.3f));
    EXPECT_FALSE(FileExists(state));
    manager.Disconnect();
    EXPECT_FALSE(manager.Identified);
    EXPECT_FALSE(manager.Shell.PollingEnabled);
    EXPECT_FALSE(manager.Shell.Port.IsOpen());
    EXPECT_TRUE(FileExists(state));

    // The saved configuration is what a restarted device comes up with.
    ASSERT_NO_FATAL_FAILURE(Connect({"--state", state}));
    ModbusAction *maxU = Var(u"Reg.ChargeMaxU");
    ASSERT_EQ(Read(maxU), mbsDone);
    EXPECT_NEAR(maxU->Value.ToReal(), 14.3, 1e-4);
}

TEST_F(SimLinkTest, ElevenTimeoutsInARowDropTheLinkWithoutASave)
{
    const std::string state = tempDir_ + "/device.state";
    ASSERT_NO_FATAL_FAILURE(Connect({"--state", state}));
    ASSERT_TRUE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), 14.3f));
    ASSERT_EQ(ConsecutiveTimeouts, 0);

    ASSERT_TRUE(sim.Signal(SIGSTOP));  // the device stops answering
    FreezeTime();
    ModbusAction *v = Var(u"Adc.U_Accu");
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(Read(v), mbsTimedOut) << "exchange " << i + 1;
    EXPECT_EQ(ConsecutiveTimeouts, 10);
    EXPECT_TRUE(manager.Identified);
    EXPECT_TRUE(manager.Shell.PollingEnabled);
    EXPECT_TRUE(manager.Shell.Port.IsOpen());

    ASSERT_EQ(Read(v), mbsTimedOut);
    EXPECT_FALSE(manager.Identified);
    EXPECT_FALSE(manager.Shell.PollingEnabled);
    EXPECT_FALSE(manager.Shell.Port.IsOpen());

    // Even once the device answers again, no save request was sent.
    ASSERT_TRUE(sim.Signal(SIGCONT));
    // Nothing marks "no save came": the stand-in gets a while to work through what waited
    // in the line, which is the observation itself.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(FileExists(state));
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(SimLinkTest, AnExceptionReplyEndsInStateThree)
{
    ASSERT_NO_FATAL_FAILURE(Connect({"--exception", "Reg.ChargeI"}));
    ModbusAction *v = Var(u"Reg.ChargeI");
    EXPECT_EQ(Read(v), mbsException);
    EXPECT_TRUE(v->Value.Equals(u"--"));
    EXPECT_EQ(Read(Var(u"Reg.ChargeMaxU")), mbsDone);
}

TEST_F(SimLinkTest, CorruptedRepliesAreDroppedAndTheLinkRecovers)
{
    for (const char *fault : {"--bad-crc-every"}) {
        SCOPED_TRACE(fault);
        ConsecutiveTimeouts = 0;
        ASSERT_NO_FATAL_FAILURE(Connect({fault, "3"}));
        ModbusAction *v = Var(u"485.Init.BaudRate");
        std::vector<uint32_t> states;
        for (int i = 0; i < 7; ++i) {
            v->Value = MString(u"--");
            states.push_back(Read(v));
        }
        int failed = 0, done = 0;
        for (uint32_t s : states) {
            failed += s == mbsBadReply;
            done += s == mbsDone;
        }
        EXPECT_GE(failed, 1);
        EXPECT_EQ(failed + done, 7);
        EXPECT_EQ(states.back(), mbsDone);  // every third reply is spoilt, so the last one is good
        EXPECT_TRUE(v->Value.Equals(u"9600"));
        EXPECT_TRUE(manager.Identified);
        CAutoLock guard(SerialPortProbe::Lock(manager.Shell.Port));
        EXPECT_EQ(SerialPortProbe::Rx(manager.Shell.Port).Count(), 0);
    }
}

TEST_F(SimLinkTest, TheDumpGathersEveryVariableInTableOrder)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    const auto entries = CollectDumpEntries(manager);
    ASSERT_EQ(entries.size(), 120u);
    for (size_t i = 0; i < entries.size(); ++i) {
        ModbusAction *v = manager.Shell.Actions.At(static_cast<int>(i));
        EXPECT_EQ(U16(entries[i].first), U16(v->Name));
        EXPECT_EQ(U16(entries[i].second), U16(v->Value));
    }
    EXPECT_EQ(U16(entries[1].second), u"Quintavolte 1.11");
    // On the paced line every variable is read: the dump waits for what the exchanges need.
    for (const auto &e : entries)
        EXPECT_FALSE(e.second.Equals(u"--")) << e.first.ToUtf8();
}

// Block reads give every variable its own value, against firmware that reads blocks, one
// that reads fewer registers at once (10: the longest variable), and one that reads no blocks at all.
TEST_F(SimLinkTest, BlockReadsGiveTheValuesSingleReadsGiveWhateverTheFirmwareReads)
{
    // Values that stay put while the stand-in runs.
    auto steady = [](const MString &name) {
        const std::u16string_view n = name.View();
        return n == u"DeviceType" || n.starts_with(u"ChipUID") || n.starts_with(u"Cal_") ||
               n.starts_with(u"Reg.Charge") || n.starts_with(u"Reg.Load") || n.starts_with(u"Do");
    };
    manager.Shell.MaxReadRegisters = 1;
    ASSERT_NO_FATAL_FAILURE(Connect());
    const auto single = CollectDumpEntries(manager);
    const uint64_t singleRequests = manager.Shell.Stats.Requests;
    const std::vector<std::string> firmware[] = {{}, {"--max-read", "10"}, {"--no-block-reads"}};
    for (const auto &args : firmware) {
        SCOPED_TRACE(args.empty() ? "blocks" : args[0]);
        manager.Shell.MaxReadRegisters = ModbusShell::kDefaultMaxRead;
        manager.Shell.Stats = {};
        ASSERT_NO_FATAL_FAILURE(Connect(args));
        DumpOutcome outcome;
        const auto entries = CollectDumpEntries(manager, &outcome);
        EXPECT_EQ(outcome.Unread, 0);
        ASSERT_EQ(entries.size(), single.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            if (steady(entries[i].first)) {
                EXPECT_EQ(U16(entries[i].second), U16(single[i].second)) << entries[i].first.ToUtf8();
            }
        }
        if (args.empty()) {
            EXPECT_LT(manager.Shell.Stats.Requests * 3, singleRequests);
        }
        EXPECT_EQ(manager.Shell.Stats.Timeouts, 0u);
        manager.Shell.Port.Close();
    }
}

TEST_F(SimLinkTest, TheDumpGivesALostReplyASecondChance)
{
    // Every tenth reply is lost: the first round leaves a tenth unread, the second round
    // reads nearly all of those.
    ASSERT_NO_FATAL_FAILURE(Connect({"--drop-every", "10"}));
    DumpOutcome outcome;
    const auto entries = CollectDumpEntries(manager, &outcome);
    ASSERT_EQ(entries.size(), 120u);
    EXPECT_FALSE(outcome.ConnectionLost);
    EXPECT_FALSE(outcome.Stopped);
    int unread = 0;
    for (const auto &e : entries)
        unread += e.second.Equals(u"--") ? 1 : 0;
    EXPECT_EQ(unread, outcome.Unread);
    EXPECT_LE(outcome.Unread, 2);  // 12 lost at first, a tenth of their retries lost again
    EXPECT_TRUE(manager.Identified);
}

TEST_F(SimLinkTest, ADumpWhoseDeviceGoesAwayEndsAsLost)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    sim.Stop();
    FreezeTime();
    DumpOutcome outcome;
    const auto entries = CollectDumpEntries(manager, &outcome);
    EXPECT_TRUE(outcome.ConnectionLost);
    EXPECT_GT(outcome.Unread, 100);
    EXPECT_FALSE(manager.Identified);
}

// Each fault the stand-in can play lands in its own counter, exactly: nine reads of one
// variable against a fault on every third reply (or on all of them). Late bytes are
// counted in the polling tests, where a reply can be made to come late.
TEST_F(SimLinkTest, EachFaultLandsInItsOwnCounter)
{
    struct Case {
        std::vector<std::string> Args;
        uint64_t Good, Timeouts, Bad, Exceptions, Noise;
    } cases[] = {
        {{"--drop-every", "3"}, 6, 3, 0, 0, 0},
        {{"--bad-crc-every", "3"}, 6, 0, 3, 0, 0},
        // Noise before a reply costs nothing but its bytes.
        {{"--garbage-every", "3"}, 9, 0, 0, 0, 3 * 4},  // the stand-in sends 4 noise bytes
        {{"--exception", "Reg.ChargeI"}, 0, 0, 0, 9, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Args[0]);
        ASSERT_NO_FATAL_FAILURE(Connect(c.Args));
        ModbusAction *v = Var(u"Reg.ChargeI");
        const ModbusShell::LinkStats before = manager.Shell.Stats;
        for (int i = 0; i < 9; ++i)
            Read(v);
        const auto &s = manager.Shell.Stats;
        EXPECT_EQ(s.Requests - before.Requests, 9u);
        EXPECT_EQ(s.GoodReplies - before.GoodReplies, c.Good);
        EXPECT_EQ(s.Timeouts - before.Timeouts, c.Timeouts);
        EXPECT_EQ(s.BadReplies - before.BadReplies, c.Bad);
        EXPECT_EQ(s.Exceptions - before.Exceptions, c.Exceptions);
        EXPECT_EQ(s.NoiseBytes - before.NoiseBytes, c.Noise);
        EXPECT_EQ(s.LateBytesDropped, before.LateBytesDropped);
        EXPECT_EQ(s.Reconnections, before.Reconnections);
        manager.Shell.Port.Close();
    }
    // The manager has connected once per case: every connection after the first counts.
    EXPECT_EQ(manager.Shell.Stats.Reconnections, std::size(cases) - 1);
}

}  // namespace

// Lines as real adapters give them: each condition of the stand-in still gives the right
// values, with no failed exchange and no pause.
TEST_F(SimLinkTest, RealLineConditionsStillGiveTheRightValues)
{
    const std::vector<std::vector<std::string>> conditions{
        {"--echo"},
        {"--garbage-every", "1", "--garbage-byte", "FE"},
        {"--garbage-every", "1", "--garbage-byte", "00", "--garbage-gap", "30"},
        {"--garbage-every", "5"},
        {"--foreign-every", "1"},
        {"--split-gap", "25"},
    };
    for (const auto &args : conditions) {
        SCOPED_TRACE(testing::PrintToString(args));
        ASSERT_NO_FATAL_FAILURE(Connect(args));
        manager.Shell.Stats = {};
        ModbusAction *maxU = Var(u"Reg.ChargeMaxU");
        ModbusAction *minU = Var(u"Reg.ChargeMinU");
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(Read(maxU), mbsDone);
            EXPECT_NEAR(maxU->Value.ToReal(), 14.4, 1e-4);
            ASSERT_EQ(Read(minU), mbsDone);
            EXPECT_NEAR(minU->Value.ToReal(), 13.1, 1e-4);
        }
        // A write's acknowledgement is told from its echo.
        ASSERT_TRUE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), 14.2f));
        ASSERT_EQ(Read(maxU), mbsDone);
        EXPECT_NEAR(maxU->Value.ToReal(), 14.2, 1e-4);
        EXPECT_EQ(manager.Shell.Stats.Timeouts + manager.Shell.Stats.BadReplies, 0u);
        EXPECT_FALSE(manager.Shell.WaitingForQuiet());
        EXPECT_EQ(manager.Shell.Port.Echoes(), args[0] == "--echo");
    }
}

// A device that listens at another rate hears nothing of ours; once a new rate is saved
// it listens there.
TEST_F(SimLinkTest, TheStandInAnswersOnlyAtItsOwnRate)
{
    ASSERT_NO_FATAL_FAILURE(StartSim({"--baud", "19200"}));
    manager.BuildRegisterMap();
    ModbusAction *type = Var(u"DeviceType");
    auto readAt = [&](uint32_t baud) {
        manager.Shell.Port.SetParams(baud, 8, 0, 0);
        EXPECT_TRUE(manager.Shell.Port.IsOpen() || manager.Shell.Port.Open(1));
        manager.Shell.PollingEnabled = true;
        type->LastPoll = 0;
        return Read(type);
    };
    ASSERT_EQ(readAt(19200), mbsDone);
    FreezeTime();
    EXPECT_EQ(readAt(9600), mbsTimedOut);
    clock_.reset();
    ConsecutiveTimeouts = 0;
    ASSERT_EQ(readAt(19200), mbsDone);
    ASSERT_TRUE(manager.WriteNumber(MString(u"485.Init.BaudRate"), 9600));
    ASSERT_EQ(readAt(19200), mbsDone);  // not saved yet
    ASSERT_TRUE(manager.WriteNumber(MString(u"SaveConfigToRomNow"), 1));
    EXPECT_EQ(readAt(9600), mbsDone);
}

TEST_F(SimLinkTest, EveryEndedExchangeIsReportedOnceWithItsOutcome)
{
    ASSERT_NO_FATAL_FAILURE(Connect({"--exception", "Reg.ChargeI"}));
    manager.SetMaxRead(1);  // one exchange per variable, so each end is its own
    std::vector<std::pair<ModbusAction *, uint32_t>> ends;
    manager.Shell.ExchangeEnded = [&](ModbusAction &v) { ends.emplace_back(&v, v.State); };
    struct Case {
        const char16_t *Name;
        uint32_t State;
    };
    for (const Case &c : {Case{u"Reg.ChargeMaxU", mbsDone}, Case{u"Reg.ChargeI", mbsException}}) {
        ends.clear();
        ModbusAction *v = Var(c.Name);
        ASSERT_EQ(Read(v), c.State);
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_EQ(ends[0].first, v);
        EXPECT_EQ(ends[0].second, c.State);
    }
    // A write reports its acknowledgement.
    ends.clear();
    ASSERT_TRUE(manager.WriteNumber(MString(u"Reg.ChargeMaxU"), 14.3f));
    ASSERT_FALSE(ends.empty());
    EXPECT_EQ(ends.back().first, Var(u"Reg.ChargeMaxU"));
    EXPECT_EQ(ends.back().second, mbsDone);

    // A waiter on one exchange wakes on its end, the timeout included, and the hook it
    // borrowed is given back.
    // Real time: the waiter rests on the line, which a fake clock does not move.
    ASSERT_TRUE(sim.Signal(SIGSTOP));
    ModbusAction *v = Var(u"Adc.U_Accu");
    manager.GetValue(v->Name);
    ASSERT_TRUE(Pump([&] { return v->State == mbsSent; }));
    ends.clear();
    EXPECT_TRUE(manager.AwaitExchange(v, 1000));
    EXPECT_EQ(v->State, mbsTimedOut);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].second, mbsTimedOut);
    ASSERT_TRUE(sim.Signal(SIGCONT));
}

// Drops the link at its first scheduler turn (the lost-link hook: no save is asked for), as
// a handler run by a waiter's turns may.
class DisconnectingTask : public MicroTaskBase {
public:
    explicit DisconnectingTask(cActionManager &manager) : manager_(manager) { TaskManager.Register(this, 1, 0); }
    void Run() override
    {
        if (armed_) {
            armed_ = false;
            manager_.Shell.ConnectionLost();
        }
    }

private:
    cActionManager &manager_;
    bool armed_ = true;
};

// An exchange dropped with the port reports its end once, at once, as unanswered: a waiter
// wakes then instead of at the exchange's deadline, and no timeout is counted for it.
TEST_F(SimLinkTest, AnExchangeDroppedWithThePortEndsAtOnceAndOnce)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(sim.Signal(SIGSTOP));
    ModbusAction *v = Var(u"Adc.U_Accu");
    manager.GetValue(v->Name);
    ASSERT_TRUE(Pump([&] { return v->State == mbsSent; }));
    std::vector<std::pair<ModbusAction *, uint32_t>> ends;
    manager.Shell.ExchangeEnded = [&](ModbusAction &e) { ends.emplace_back(&e, e.State); };
    const uint64_t timeouts = manager.Stats().Timeouts;
    const uint32_t start = GetTickCount32();
    {
        DisconnectingTask disconnect(manager);
        EXPECT_TRUE(manager.AwaitExchange(v, 1000));
    }
    EXPECT_LT(TickDiff(GetTickCount32(), start), int32_t(manager.Shell.ExchangeTimeoutMs(*v, v->RegCount)));
    EXPECT_FALSE(manager.Shell.Port.IsOpen());
    EXPECT_EQ(v->State, mbsTimedOut);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].first, v);
    EXPECT_EQ(ends[0].second, mbsTimedOut);

    // Well past the deadline the exchange had, nothing reports it again.
    FreezeTime();
    int turns = 0;
    Pump([&] { return ++turns > 300; });
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(manager.Stats().Timeouts, timeouts);
    ASSERT_TRUE(sim.Signal(SIGCONT));
}
