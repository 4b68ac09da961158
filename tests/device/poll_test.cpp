// The shell's turn over a pseudo-terminal that the test answers by hand, with time
// stepped by a fake clock: what goes out, when a reply is taken, and recovery from
// corrupted input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DeviceTestUtil.h"
#include "device/ActionManager.h"
#include "port/PortList.h"
#include "port/SerialPortProbe.h"

using testutil::FakeClock;
using testutil::MessageRecorder;
using testutil::PtyDevice;
using testutil::U16;
using testutil::WithCrc;

namespace {

class PollTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConsecutiveTimeouts = 0;
        ASSERT_FALSE(device.SlavePath().empty());
        SetExplicitPorts({device.SlavePath()});
        manager.BuildRegisterMap();
        ASSERT_TRUE(manager.Shell.Port.Open(1));
        manager.Shell.PollingEnabled = true;
        clock.Advance(1000);
    }
    void TearDown() override { SetExplicitPorts({}); }

    ModbusAction *Var(const char16_t *name) { return manager.Shell.FindVariable(MString(name)); }

    // Device bytes have reached the receive ring (the port thread moves them).
    bool Received(size_t n)
    {
        return testutil::WaitUntil([&] {
            CAutoLock guard(SerialPortProbe::Lock(manager.Shell.Port));
            return SerialPortProbe::Rx(manager.Shell.Port).Count() >= n;
        });
    }
    void Answer(const std::vector<uint8_t> &frame)
    {
        (void)device.Write(frame);
        ASSERT_TRUE(Received(frame.size()));
    }
    uint16_t RxCount()
    {
        CAutoLock guard(SerialPortProbe::Lock(manager.Shell.Port));
        return SerialPortProbe::Rx(manager.Shell.Port).Count();
    }

    FakeClock clock;
    PtyDevice device;
    cActionManager manager;
};

TEST_F(PollTest, AMarkedVariableIsReadOnceAndItsCompleteReplyTakenAtOnce)
{
    const MString first = manager.GetValue(MString(u"Reg.ChargeI"));
    const MString second = manager.GetValue(MString(u"Reg.ChargeI"));
    EXPECT_TRUE(first.Equals(u"--"));
    EXPECT_TRUE(second.Equals(first));
    ModbusAction *chargeI = Var(u"Reg.ChargeI");
    EXPECT_EQ(chargeI->State, mbsRequested);

    manager.Shell.Poll();
    EXPECT_EQ(chargeI->State, mbsSent);
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x03, 0x07, 0xD4, 0x00, 0x02}));

    // One request on the wire at a time.
    ASSERT_TRUE(manager.RequestRead(MString(u"Reg.bForceLoadOff")));
    manager.Shell.Poll();
    EXPECT_TRUE(device.Drain().empty());

    Answer(WithCrc({0xFE, 0x03, 0x04, 0x00, 0x00, 0x40, 0x20}));  // 2.5f
    manager.Shell.Poll();  // as long as announced, and its CRC is right: no silence needed
    EXPECT_EQ(chargeI->State, mbsDone);
    EXPECT_DOUBLE_EQ(chargeI->Value.ToReal(), 2.5);
    EXPECT_EQ(RxCount(), 0);
    // The next request waits for the 3.5-character silence that ends a frame on the line.
    EXPECT_EQ(Var(u"Reg.bForceLoadOff")->State, mbsRequested);
    EXPECT_TRUE(device.Drain().empty());
    clock.Advance(manager.Shell.FrameGapMs());
    manager.Shell.Poll();
    EXPECT_EQ(Var(u"Reg.bForceLoadOff")->State, mbsSent);
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x03, 0x07, 0xDD, 0x00, 0x01}));
}

TEST_F(PollTest, AWriteOnlyVariableCanStillBeRead)
{
    ModbusAction *reset = Var(u"ResetConfigToDefaults");
    ASSERT_NE(reset, nullptr);
    ASSERT_EQ(reset->Access, mbaWrite);
    manager.GetValue(reset->Name);
    manager.Shell.Poll();
    EXPECT_EQ(reset->State, mbsSent);
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x03, 0x00, 0x82, 0x00, 0x01}));
}

TEST_F(PollTest, AReplyInPiecesIsTakenWholeOnceItsLastPieceIsIn)
{
    ModbusAction *v = Var(u"Reg.bModeCharger");
    manager.GetValue(v->Name);
    manager.Shell.Poll();
    ASSERT_EQ(device.Read(8).size(), 8u);
    const std::vector<uint8_t> reply = WithCrc({0xFE, 0x03, 0x02, 0x00, 0x01});
    for (size_t cut : {size_t{1}, size_t{3}, size_t{5}}) {
        (void)device.Write({reply.begin() + static_cast<long>(RxCount()), reply.begin() + static_cast<long>(cut)});
        ASSERT_TRUE(Received(cut));
        clock.Advance(15);
        manager.Shell.Poll();
        EXPECT_EQ(RxCount(), static_cast<int>(cut)) << "after " << cut << " bytes: still arriving";
        EXPECT_EQ(v->State, mbsSent);
    }
    (void)device.Write({reply.begin() + 5, reply.end()});
    ASSERT_TRUE(Received(reply.size()));
    manager.Shell.Poll();
    EXPECT_EQ(v->State, mbsDone);
    EXPECT_TRUE(v->Value.Equals(u"1"));
}

// What holds no complete reply of ours ends only with the silence: 20 ms for a damaged
// reply (failed at once, no pause after it), 100 ms for a head whose announced rest is
// missing (a reply cut short: the line must then fall quiet).
TEST_F(PollTest, AReplyThatDoesNotFrameWaitsForTheSilence)
{
    std::vector<uint8_t> badCrc = WithCrc({0xFE, 0x03, 0x02, 0x00, 0x01});
    badCrc.back() ^= 0xFF;
    const struct {
        const char *label;
        std::vector<uint8_t> bytes;
        uint32_t silenceMs;
        bool pause;
    } cases[] = {
        {"bad CRC", badCrc, ModbusShell::kSilenceMs, false},
        {"shorter than announced", WithCrc({0xFE, 0x03, 0x04, 0x00, 0x01}), ModbusShell::kBurstSilenceMs, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        ModbusAction *v = Var(u"Reg.bModeCharger");
        clock.Advance(ModbusShell::kQuietAfterFailureMs + 1);
        manager.GetValue(v->Name);
        clock.Advance(101);
        manager.Shell.Poll();
        ASSERT_EQ(v->State, mbsSent);
        ASSERT_EQ(device.Read(8).size(), 8u);
        Answer(c.bytes);
        manager.Shell.Poll();
        clock.Advance(c.silenceMs);
        manager.Shell.Poll();
        EXPECT_EQ(v->State, mbsSent) << "taken before the silence";
        clock.Advance(1);
        manager.Shell.Poll();
        EXPECT_EQ(v->State, mbsBadReply);
        EXPECT_EQ(RxCount(), 0);
        EXPECT_EQ(manager.Shell.WaitingForQuiet(), c.pause);
    }
    ConsecutiveTimeouts = 0;
}

TEST_F(PollTest, AReplyAfterTheTimeoutChangesNothing)
{
    ModbusAction *v = Var(u"Reg.bModeCharger");
    manager.GetValue(v->Name);
    manager.Shell.Poll();
    ASSERT_EQ(device.Read(8).size(), 8u);
    // The deadline is the reply time plus the silence that ends a reply.
    clock.Advance(520);
    manager.Shell.Engine.Run();
    ASSERT_EQ(v->State, mbsSent);
    clock.Advance(1);
    manager.Shell.Engine.Run();
    ASSERT_EQ(v->State, mbsTimedOut);
    EXPECT_EQ(ConsecutiveTimeouts, 1);

    Answer(WithCrc({0xFE, 0x03, 0x02, 0x00, 0x01}));
    clock.Advance(21);
    manager.Shell.Poll();
    EXPECT_EQ(RxCount(), 0);
    EXPECT_EQ(v->State, mbsTimedOut);
    EXPECT_TRUE(v->Value.Equals(u"--"));
    EXPECT_EQ(ConsecutiveTimeouts, 1);  // only a matched normal reply resets the count
    ConsecutiveTimeouts = 0;
}

TEST_F(PollTest, ALateReplyIsNeverTakenByTheNextRequest)
{
    // A times out; B waits for a quiet line, and A's late reply landing meanwhile is drained.
    ModbusAction *a = Var(u"Reg.ChargeMinU");
    ModbusAction *b = Var(u"Reg.ChargeMaxU");  // the same shape as A: only timing tells them apart
    manager.GetValue(a->Name);
    manager.Shell.Poll();
    ASSERT_EQ(device.Read(8), WithCrc({0xFE, 0x03, 0x07, 0xD0, 0x00, 0x02}));
    clock.Advance(521);
    manager.Shell.Engine.Run();
    ASSERT_EQ(a->State, mbsTimedOut);

    manager.GetValue(b->Name);
    clock.Advance(200);
    manager.Shell.Poll();
    EXPECT_EQ(b->State, mbsRequested);
    Answer(WithCrc({0xFE, 0x03, 0x04, 0x00, 0x00, 0x41, 0x40}));  // A's 12.0
    clock.Advance(21);
    manager.Shell.Poll();
    EXPECT_EQ(b->State, mbsRequested);  // the quiet time starts again at the late bytes
    clock.Advance(ModbusShell::kQuietAfterFailureMs - 21);
    manager.Shell.Poll();
    EXPECT_EQ(b->State, mbsSent);
    EXPECT_EQ(manager.Shell.Stats.LateBytesDropped, 9u);  // A's reply, counted once
    EXPECT_EQ(manager.Shell.Stats.Timeouts, 1u);
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x03, 0x07, 0xD2, 0x00, 0x02}));
    Answer(WithCrc({0xFE, 0x03, 0x04, 0x66, 0x66, 0x41, 0x66}));  // B's 14.4
    clock.Advance(21);
    manager.Shell.Poll();
    EXPECT_EQ(b->State, mbsDone);
    EXPECT_NEAR(b->Value.ToReal(), 14.4, 1e-4);
    EXPECT_TRUE(a->Value.Equals(u"--"));

    // A reply later still, once C is on the wire, has another length than C's: it is
    // counted as late and C's own reply is still taken.
    ModbusAction *c = Var(u"Reg.bModeCharger");
    manager.GetValue(c->Name);
    clock.Advance(101);
    manager.Shell.Poll();
    ASSERT_EQ(device.Read(8).size(), 8u);
    Answer(WithCrc({0xFE, 0x03, 0x04, 0x00, 0x00, 0x41, 0x40}));
    clock.Advance(21);
    manager.Shell.Poll();
    EXPECT_EQ(c->State, mbsSent);
    EXPECT_EQ(manager.Shell.Stats.LateBytesDropped, 18u);
    Answer(WithCrc({0xFE, 0x03, 0x02, 0x00, 0x01}));
    manager.Shell.Poll();
    EXPECT_EQ(c->State, mbsDone);
    EXPECT_TRUE(c->Value.Equals(u"1"));
    ConsecutiveTimeouts = 0;
}

// A reply later than the quiet wait: the next read of the same length asks for a register
// more, so the late reply cannot pass for its answer.
TEST_F(PollTest, AReadAfterATimeoutAsksForAnotherLengthThanTheLateReply)
{
    ModbusAction *a = Var(u"Reg.ChargeMinU");
    ModbusAction *b = Var(u"Reg.ChargeMaxU");
    manager.GetValue(a->Name);
    manager.Shell.Poll();
    ASSERT_EQ(device.Read(8).size(), 8u);
    clock.Advance(521);
    manager.Shell.Engine.Run();
    ASSERT_EQ(a->State, mbsTimedOut);

    manager.GetValue(b->Name);
    clock.Advance(ModbusShell::kQuietAfterFailureMs);
    manager.Shell.Poll();
    ASSERT_EQ(b->State, mbsSent);
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x03, 0x07, 0xD2, 0x00, 0x03}));
    Answer(WithCrc({0xFE, 0x03, 0x04, 0x00, 0x00, 0x41, 0x40}));  // A's 12.0, late
    manager.Shell.Poll();
    clock.Advance(21);
    manager.Shell.Poll();
    EXPECT_EQ(b->State, mbsSent);
    EXPECT_EQ(manager.Shell.Stats.LateBytesDropped, 9u);
    Answer(WithCrc({0xFE, 0x03, 0x06, 0x66, 0x66, 0x41, 0x66, 0x12, 0x34}));  // B's 14.4 and the register after it
    manager.Shell.Poll();
    EXPECT_EQ(b->State, mbsDone);
    EXPECT_NEAR(b->Value.ToReal(), 14.4, 1e-4);

    // The late reply has shown itself: reads of that length go out as they are again.
    manager.GetValue(a->Name);
    clock.Advance(101);
    manager.Shell.Poll();
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x03, 0x07, 0xD0, 0x00, 0x02}));
    ConsecutiveTimeouts = 0;
}

TEST_F(PollTest, BytesThatCameWhileNothingWasPendingAreNotPartOfTheReply)
{
    ModbusAction *v = Var(u"Reg.bModeCharger");
    manager.GetValue(v->Name);
    // Stray bytes still arriving (no silence yet) when the request is queued: it waits
    // for the end of their frame, and they are dropped when it goes out.
    Answer({0xFE, 0x03});
    manager.Shell.Poll();
    EXPECT_EQ(v->State, mbsRequested);
    clock.Advance(manager.Shell.FrameGapMs());
    manager.Shell.Poll();
    EXPECT_EQ(v->State, mbsSent);
    EXPECT_EQ(RxCount(), 0);
    EXPECT_EQ(manager.Shell.Stats.LateBytesDropped, 2u);
    ASSERT_EQ(device.Read(8).size(), 8u);
    Answer(WithCrc({0xFE, 0x03, 0x02, 0x00, 0x01}));
    manager.Shell.Poll();
    EXPECT_EQ(v->State, mbsDone);
    EXPECT_TRUE(v->Value.Equals(u"1"));
}

TEST_F(PollTest, BytesLeftInTheLineBeforeOpenNeverReachTheRing)
{
    manager.Shell.Port.Close();
    // A reply of an earlier run waits in the terminal's input queue.
    (void)device.Write(WithCrc({0xFE, 0x03, 0x02, 0x00, 0x01}));
    ASSERT_TRUE(manager.Shell.Port.Open(1));
    // Bounded real wait: anything queued would reach the ring within it.
    EXPECT_FALSE(testutil::WaitUntil([&] { return RxCount() > 0; }, 200));
    // What the device sends from now on does arrive.
    Answer({0x01});
}

TEST_F(PollTest, AFrameTheTransmitRingCannotTakeWholeIsNotQueuedInPart)
{
    // The line takes nothing, and the ring has room for 4 bytes only.
    manager.Shell.Port.SetTransport({[](void *, int, uint8_t *, size_t) -> long { return 0; },
                                     [](void *, int, const uint8_t *, size_t) -> long { return 0; }, nullptr});
    {
        CAutoLock guard(SerialPortProbe::Lock(manager.Shell.Port));
        const std::vector<uint8_t> filler(SerialPortProbe::Tx(manager.Shell.Port).Free() - 4u, 0x00);
        ASSERT_EQ(SerialPortProbe::Tx(manager.Shell.Port).Put(filler.data(), filler.size(), false), filler.size());
    }
    ModbusAction *v = Var(u"Reg.ChargeI");
    manager.GetValue(v->Name);
    manager.Shell.Poll();
    {
        CAutoLock guard(SerialPortProbe::Lock(manager.Shell.Port));
        EXPECT_EQ(SerialPortProbe::Tx(manager.Shell.Port).Free(), 4);
        SerialPortProbe::Tx(manager.Shell.Port).Clear();
    }
    EXPECT_EQ(v->State, mbsRequested);
    // The request counts as sent and ends as any unanswered one.
    clock.Advance(521);
    manager.Shell.Engine.Run();
    EXPECT_EQ(v->State, mbsTimedOut);
    ConsecutiveTimeouts = 0;
}

TEST_F(PollTest, AVariableIsNotAskedAgainWithinItsPeriod)
{
    ModbusAction *v = Var(u"Reg.bModeCharger");
    manager.GetValue(v->Name);
    manager.Shell.Poll();
    ASSERT_EQ(device.Read(8).size(), 8u);
    Answer(WithCrc({0xFE, 0x03, 0x02, 0x00, 0x01}));
    clock.Advance(21);
    manager.Shell.Poll();
    ASSERT_EQ(v->State, mbsDone);
    EXPECT_TRUE(v->Value.Equals(u"1"));

    manager.GetValue(v->Name);
    clock.Advance(78);  // 99 ms after the request
    manager.Shell.Poll();
    EXPECT_EQ(v->State, mbsRequested);
    clock.Advance(2);
    manager.Shell.Poll();
    EXPECT_EQ(v->State, mbsSent);
}

TEST_F(PollTest, AWriteGoesOutAtTheNextTurnAndItsAcknowledgementKeepsTheText)
{
    ModbusAction *save = Var(u"SaveConfigToRomNow");
    manager.Shell.RequestWrite(save, MString(u"1"));
    manager.Shell.Poll();
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x06, 0x00, 0x83, 0x00, 0x01}));
    Answer(WithCrc({0xFE, 0x06, 0x00, 0x83, 0x00, 0x01}));
    clock.Advance(21);
    manager.Shell.Poll();
    EXPECT_EQ(save->State, mbsDone);
    EXPECT_TRUE(save->Value.Equals(u"1"));
    EXPECT_FALSE(save->WritePending);
}

TEST_F(PollTest, ATextThatCannotBeWrittenIsRefusedEachTimeItIsAskedFor)
{
    MessageRecorder messages;
    ModbusAction *type = Var(u"DeviceType");
    type->Access = mbaReadWrite;  // the write gate leaves a text's length to the encoder
    ASSERT_TRUE(manager.Shell.RequestWrite(type, MString(std::u16string(70, u'Q').c_str())));
    manager.Shell.Poll();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(type->State, mbsDone);
    EXPECT_TRUE(type->WritePending);

    manager.GetValue(type->Name);
    clock.Advance(101);
    manager.Shell.Poll();
    EXPECT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[1], u"Input data or format is incorrect. Sorry, I can't understand them.");
    EXPECT_TRUE(device.Drain().empty());
}

// The reply is found among what came: noise, another unit's frame, our own echo before
// it; bytes after it wait. It is taken as soon as it is whole, without waiting for silence.
TEST_F(PollTest, TheReplyIsFoundAmongTheReceivedBytes)
{
    const std::vector<uint8_t> good = WithCrc({0xFE, 0x03, 0x02, 0x00, 0x07});
    const std::vector<uint8_t> request = WithCrc({0xFE, 0x03, 0x0F, 0xA0, 0x00, 0x01});
    const std::vector<uint8_t> foreign = WithCrc({0x01, 0x03, 0x02, 0x00, 0x09});
    auto join = [](std::vector<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> all;
        for (const auto &p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const struct {
        const char *label;
        std::vector<uint8_t> bytes;
        uint64_t noise;
        uint16_t left;  // bytes after the reply, still waiting
        bool echo;
    } cases[] = {
        {"clean", good, 0, 0, false},
        {"one noise byte that looks like our unit", join({{0xFE}, good}), 1, 0, false},
        {"noise bytes", join({{0x13, 0x37, 0x00, 0xFF}, good}), 4, 0, false},
        {"another unit's frame right before ours", join({foreign, good}), foreign.size(), 0, false},
        {"a head of ours announcing more than the buffer", join({{0xFE, 0x03, 0xF0}, good}), 3, 0, false},
        {"two replies in one chunk", join({good, good}), 0, static_cast<uint16_t>(good.size()), false},
        {"our request echoed first", join({request, good}), 0, 0, true},
    };
    ModbusAction *v = Var(u"Do1.State");
    ASSERT_EQ(v->RegAddress, 4000);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        manager.Shell.Stats = {};
        v->Value = MString(u"--");
        manager.GetValue(v->Name);
        clock.Advance(101);
        manager.Shell.Poll();
        ASSERT_EQ(device.Read(8), request);
        Answer(c.bytes);
        manager.Shell.Poll();
        EXPECT_EQ(v->State, mbsDone);
        EXPECT_TRUE(v->Value.Equals(u"7"));
        EXPECT_EQ(manager.Shell.Stats.NoiseBytes, c.noise);
        EXPECT_EQ(RxCount(), c.left);
        EXPECT_EQ(manager.Shell.Port.Echoes(), c.echo);
        EXPECT_FALSE(manager.Shell.WaitingForQuiet());
        // What waits behind the reply goes when the next request does, counted as late.
        clock.Advance(21);
        manager.Shell.Poll();
        EXPECT_EQ(RxCount(), 0);
        EXPECT_EQ(manager.Shell.Stats.LateBytesDropped, c.left);
    }
}

// An adapter that echoes: once a read has shown it, the echo of a write (byte for byte its
// acknowledgement) is skipped too, and the device's own acknowledgement is taken.
TEST_F(PollTest, AnEchoShownByAReadIsSkippedBeforeAWritesAcknowledgement)
{
    ModbusAction *v = Var(u"Do1.State");
    manager.GetValue(v->Name);
    manager.Shell.Poll();
    const std::vector<uint8_t> read = device.Read(8);
    ASSERT_EQ(read.size(), 8u);
    std::vector<uint8_t> echoed = read;
    const std::vector<uint8_t> reply = WithCrc({0xFE, 0x03, 0x02, 0x00, 0x00});
    echoed.insert(echoed.end(), reply.begin(), reply.end());
    Answer(echoed);
    manager.Shell.Poll();
    ASSERT_EQ(v->State, mbsDone);
    ASSERT_TRUE(manager.Shell.Port.Echoes());

    ASSERT_TRUE(manager.Shell.RequestWrite(v, MString(u"1")));
    clock.Advance(101);
    manager.Shell.Poll();
    const std::vector<uint8_t> write = device.Read(8);
    ASSERT_EQ(write, WithCrc({0xFE, 0x06, 0x0F, 0xA0, 0x00, 0x01}));
    Answer(write);  // the echo alone: not yet the acknowledgement
    manager.Shell.Poll();
    clock.Advance(5);
    manager.Shell.Poll();
    EXPECT_EQ(v->State, mbsSent);
    (void)device.Write(write);
    ASSERT_TRUE(Received(2 * write.size()));
    manager.Shell.Poll();
    EXPECT_EQ(v->State, mbsDone);
    EXPECT_EQ(RxCount(), 0);
    EXPECT_EQ(manager.Shell.Stats.NoiseBytes, 0u);
}

// Noise alone is no reply: it is dropped once the line falls silent and the reply is still
// waited for, up to its deadline.
TEST_F(PollTest, NoiseAloneIsDroppedAndTheReplyStillAwaited)
{
    const struct {
        const char *label;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"one byte", {0x00}},
        {"more than the frame buffer holds", std::vector<uint8_t>(1100, 0x55)},
    };
    ModbusAction *v = Var(u"Do1.State");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        manager.Shell.Stats = {};
        manager.GetValue(v->Name);
        clock.Advance(101);
        manager.Shell.Poll();
        ASSERT_EQ(device.Read(8).size(), 8u);
        Answer(c.bytes);
        clock.Advance(ModbusShell::kSilenceMs + 1);
        manager.Shell.Poll();
        EXPECT_EQ(RxCount(), 0);
        EXPECT_EQ(v->State, mbsSent);
        EXPECT_EQ(manager.Shell.Stats.NoiseBytes, c.bytes.size());
        clock.Advance(30);
        Answer(WithCrc({0xFE, 0x03, 0x02, 0x00, 0x07}));
        manager.Shell.Poll();
        EXPECT_EQ(v->State, mbsDone);
        EXPECT_TRUE(v->Value.Equals(u"7"));
    }
}

TEST_F(PollTest, NothingHappensWhilePollingIsOffOrThePortIsClosed)
{
    manager.GetValue(MString(u"Reg.ChargeI"));
    manager.Shell.PollingEnabled = false;
    manager.Shell.Run();
    manager.Shell.PollingEnabled = true;
    manager.Shell.Port.Close();
    manager.Shell.Run();
    EXPECT_EQ(Var(u"Reg.ChargeI")->State, mbsRequested);
    EXPECT_TRUE(device.Drain().empty());
}

}  // namespace

namespace {

// A float's register bytes on the line: low word first, each word high byte first.
std::vector<uint8_t> FloatWords(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return {static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 24),
            static_cast<uint8_t>(bits >> 16)};
}

std::vector<uint8_t> ReadReply(const std::vector<float> &values)
{
    std::vector<uint8_t> frame{0xFE, 0x03, static_cast<uint8_t>(4 * values.size())};
    for (float f : values)
        for (uint8_t b : FloatWords(f))
            frame.push_back(b);
    return WithCrc(frame);
}

std::vector<uint8_t> ReadRequest(uint16_t address, uint16_t quantity)
{
    return WithCrc({0xFE, 0x03, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                    static_cast<uint8_t>(quantity >> 8), static_cast<uint8_t>(quantity)});
}

}  // namespace

TEST_F(PollTest, NeighboursDueTogetherAreReadInOneRequestEachTakingItsOwnRegisters)
{
    const char16_t *names[] = {u"Adc.I_Load", u"Adc.U_Load", u"Adc.I_Accu", u"Adc.U_Solar"};
    for (const char16_t *name : names)
        manager.GetValue(MString(name));
    manager.Shell.Poll();
    // 1002..1007 in one read; Adc.U_Solar (1012) is not adjacent to anything due.
    EXPECT_EQ(device.Read(8), ReadRequest(1002, 6));
    EXPECT_EQ(Var(u"Adc.U_Solar")->State, mbsRequested);
    Answer(ReadReply({1.5f, 2.5f, 3.5f}));
    manager.Shell.Poll();
    const double expected[] = {1.5, 2.5, 3.5};
    for (int i = 0; i < 3; ++i) {
        ModbusAction *v = Var(names[i]);
        EXPECT_EQ(v->State, mbsDone) << v->Name.ToUtf8();
        EXPECT_DOUBLE_EQ(v->Value.ToReal(), expected[i]) << v->Name.ToUtf8();
        EXPECT_EQ(v->RawCount, 4);
    }
    EXPECT_EQ(manager.Shell.Stats.Requests, 1u);
    EXPECT_EQ(manager.Shell.Stats.GoodReplies, 1u);
    clock.Advance(manager.Shell.FrameGapMs());
    manager.Shell.Poll();
    EXPECT_EQ(device.Read(8), ReadRequest(1012, 2));
}

TEST_F(PollTest, ABlockStaysWithinTheReadCap)
{
    const struct {
        uint16_t cap;
        uint16_t quantity;
    } cases[] = {{1, 2}, {3, 2}, {4, 4}, {32, 6}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.cap);
        manager.Shell.MaxReadRegisters = c.cap;
        manager.Shell.PollCursor = -1;
        clock.Advance(101);
        for (const char16_t *name : {u"Adc.I_Load", u"Adc.U_Load", u"Adc.I_Accu"})
            manager.GetValue(MString(name));
        manager.Shell.Poll();
        EXPECT_EQ(device.Read(8), ReadRequest(1002, c.quantity));
        // Forget the exchange: the next case starts on a free line.
        manager.Shell.Engine.Reset();
        for (const char16_t *name : {u"Adc.I_Load", u"Adc.U_Load", u"Adc.I_Accu"})
            Var(name)->State = mbsDone;
    }
}

TEST_F(PollTest, AWriteGoesOutAtTheLineNextFreeTurnAheadOfReadsAndAlone)
{
    ModbusAction *mode = Var(u"Reg.bModeCharger");      // 2012
    ModbusAction *loadOff = Var(u"Reg.bForceLoadOff");  // 2013
    ModbusAction *loadOn = Var(u"Reg.bLoadIsOn");       // 2014
    manager.GetValue(mode->Name);
    manager.Shell.Poll();
    ASSERT_EQ(device.Read(8), ReadRequest(2012, 1));
    // Asked while a read is on the line, its period not over, other reads waiting.
    manager.GetValue(loadOn->Name);
    loadOff->LastPoll = clock.Now();
    ASSERT_TRUE(manager.Shell.RequestWrite(loadOff, MString(u"1")));
    EXPECT_TRUE(device.Drain().empty());
    Answer(WithCrc({0xFE, 0x03, 0x02, 0x00, 0x01}));
    manager.Shell.Poll();
    ASSERT_EQ(mode->State, mbsDone);
    clock.Advance(manager.Shell.FrameGapMs());
    manager.Shell.Poll();
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x06, 0x07, 0xDD, 0x00, 0x01}));
    Answer(WithCrc({0xFE, 0x06, 0x07, 0xDD, 0x00, 0x01}));
    manager.Shell.Poll();
    EXPECT_EQ(loadOff->State, mbsDone);
    // On a free line a write goes out as it is asked for.
    clock.Advance(manager.Shell.FrameGapMs());
    ASSERT_TRUE(manager.Shell.RequestWrite(loadOff, MString(u"0")));
    EXPECT_EQ(loadOff->State, mbsSent);
    EXPECT_EQ(device.Read(8), WithCrc({0xFE, 0x06, 0x07, 0xDD, 0x00, 0x00}));
    Answer(WithCrc({0xFE, 0x06, 0x07, 0xDD, 0x00, 0x00}));
    manager.Shell.Poll();
    // The read waiting all along is not merged with its written neighbour.
    clock.Advance(manager.Shell.FrameGapMs());
    manager.Shell.Poll();
    EXPECT_EQ(device.Read(8), ReadRequest(2014, 1));
}

TEST_F(PollTest, AWriteAskedForDuringABlockReadKeepsItsTextAndStillGoesOut)
{
    ModbusAction *charge = Var(u"Adc.EnergyAccuCharge");        // 1100
    ModbusAction *discharge = Var(u"Adc.EnergyAccuDischarge");  // 1102
    manager.GetValue(charge->Name);
    manager.GetValue(discharge->Name);
    manager.Shell.Poll();
    ASSERT_EQ(device.Read(8), ReadRequest(1100, 4));
    ASSERT_TRUE(manager.Shell.RequestWrite(discharge, MString(u"7")));
    Answer(ReadReply({1.5f, 2.5f}));
    manager.Shell.Poll();
    EXPECT_DOUBLE_EQ(charge->Value.ToReal(), 1.5);
    EXPECT_TRUE(discharge->Value.Equals(u"7"));
    EXPECT_TRUE(discharge->WritePending);
    clock.Advance(manager.Shell.FrameGapMs());
    manager.Shell.Poll();
    const std::vector<uint8_t> write = device.Read(13);
    ASSERT_EQ(write.size(), 13u);
    EXPECT_EQ(write[1], 16);
    EXPECT_EQ(write[3], 0x4E);  // 1102
}

TEST_F(PollTest, ARefusedBlockIsReadVariableByVariableFromThenOn)
{
    for (uint8_t code : {uint8_t{2}, uint8_t{3}}) {
        SCOPED_TRACE(code);
        manager.BuildRegisterMap();
        clock.Advance(ModbusShell::kQuietAfterFailureMs + 1);
        const char16_t *names[] = {u"Adc.I_Load", u"Adc.U_Load"};
        for (const char16_t *name : names)
            manager.GetValue(MString(name));
        manager.Shell.Poll();
        ASSERT_EQ(device.Read(8), ReadRequest(1002, 4));
        Answer(WithCrc({0xFE, 0x83, code}));
        manager.Shell.Poll();
        // Not a failure of the variables: asked for again, alone.
        for (const char16_t *name : names)
            EXPECT_EQ(Var(name)->State, mbsRequested);
        EXPECT_EQ(manager.Shell.Stats.Exceptions, 1u);
        EXPECT_FALSE(manager.Shell.WaitingForQuiet());
        for (int round = 0; round < 2; ++round) {
            if (round == 1) {
                clock.Advance(101);
                for (const char16_t *name : names)
                    manager.GetValue(MString(name));
            }
            for (int i = 0; i < 2; ++i) {
                clock.Advance(manager.Shell.FrameGapMs());
                manager.Shell.Poll();
                EXPECT_EQ(device.Read(8), ReadRequest(static_cast<uint16_t>(1002 + 2 * i), 2)) << round;
                Answer(ReadReply({1.0f + i}));
                manager.Shell.Poll();
                EXPECT_EQ(Var(names[i])->State, mbsDone);
                EXPECT_DOUBLE_EQ(Var(names[i])->Value.ToReal(), 1.0 + i);
            }
        }
        manager.Shell.Stats = {};
    }
}

TEST_F(PollTest, ABlockUnansweredTwiceWhileSingleReadsAreAnsweredIsReadAloneAfterwards)
{
    ModbusAction *a = Var(u"Adc.I_Load");
    ModbusAction *b = Var(u"Adc.U_Load");
    // Asks for both and answers the block (when it is one) with silence, the singles with values.
    auto round = [&](bool expectBlock) {
        clock.Advance(ModbusShell::kQuietAfterFailureMs + 101);
        manager.GetValue(a->Name);
        manager.GetValue(b->Name);
        manager.Shell.Poll();
        if (expectBlock) {
            ASSERT_EQ(device.Read(8), ReadRequest(1002, 4));
            clock.Advance(521);
            manager.Shell.Engine.Run();
            // Never a value that is not its own, and never left failed.
            EXPECT_EQ(a->State, mbsRequested);
            EXPECT_EQ(b->State, mbsRequested);
            clock.Advance(ModbusShell::kQuietAfterFailureMs + 1);
            manager.Shell.Poll();
        }
        ASSERT_EQ(device.Read(8), ReadRequest(1002, 2));
        Answer(ReadReply({4.0f}));
        manager.Shell.Poll();
        clock.Advance(manager.Shell.FrameGapMs());
        manager.Shell.Poll();
        ASSERT_EQ(device.Read(8), ReadRequest(1004, 2));
        Answer(ReadReply({5.0f}));
        manager.Shell.Poll();
        EXPECT_DOUBLE_EQ(a->Value.ToReal(), 4.0);
        EXPECT_DOUBLE_EQ(b->Value.ToReal(), 5.0);
    };
    ASSERT_NO_FATAL_FAILURE(round(true));
    ASSERT_NO_FATAL_FAILURE(round(true));  // one miss is a line fault: blocks again
    ASSERT_NO_FATAL_FAILURE(round(false));
    EXPECT_EQ(manager.Shell.Stats.Timeouts, 2u);
    ConsecutiveTimeouts = 0;
}
