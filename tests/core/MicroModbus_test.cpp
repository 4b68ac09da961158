#include "core/MicroModbus.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "MbTestFrames.h"
#include "testkit/FakeClock.h"

using testkit::FakeClock;

namespace {

struct Call {
    void *context;
    int status;
    uint16_t tid;
    uint8_t unit;
    uint8_t function;
    uint32_t deadline;
    int bytes;  // ParseReadResponse during the call
    Bytes data;
};

std::vector<Call> g_calls;

void Record(MicroModbus *engine, void *context, int status, uint16_t tid, uint8_t unit, uint8_t function,
            uint32_t deadline)
{
    const uint8_t *data = nullptr;
    int n = engine->ParseReadResponse(&data);
    g_calls.push_back({context, status, tid, unit, function, deadline, n, Bytes(data, data + n)});
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        engine.SetTxBuffer(tx.data(), tx.size(), MbRtu);
    }
    int Feed(const Bytes &frame, uint32_t framing = MbRtu)
    {
        rx = frame;
        return engine.ProcessFrame(rx.data(), static_cast<uint16_t>(rx.size()), framing);
    }
    Bytes Sent() const { return TxBytes(engine, tx.data()); }

    FakeClock clock{5000};
    MicroTaskManager manager;
    MicroModbus engine{0, 5};
    std::array<uint8_t, 1024> tx{};
    Bytes rx;
    int ctx = 0;
};

TEST(MbCrcTest, KnownVectors)
{
    const Bytes a = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    EXPECT_EQ(MbCrc16(a.data(), a.size()), 0xCDC5);
    const Bytes b = {0xFE, 0x03, 0x00, 0x64, 0x00, 0x01};
    EXPECT_EQ(MbCrc16(b.data(), b.size()), 0xDAD1);
    EXPECT_EQ(MbCrc16(nullptr, 0), 0xFFFF);
}

TEST_F(EngineTest, ReadRequestFramesUnderBothFramings)
{
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, Record, &ctx));
    EXPECT_EQ(Sent(), (Bytes{0xFE, 0x03, 0x00, 0x64, 0x00, 0x01, 0xD1, 0xDA}));
    EXPECT_EQ(engine.PendingCount(), 1);

    // Area picks the function code; a forced code replaces it.
    engine.Reset();
    ASSERT_TRUE(engine.BuildReadRequest(MbCoils, 1, 0, 9, 500, nullptr, nullptr));
    EXPECT_EQ(Sent()[1], 1);
    ASSERT_TRUE(engine.BuildReadRequest(MbInputRegisters, 1, 0, 1, 500, nullptr, nullptr));
    EXPECT_EQ(Sent()[1], 4);
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 1, 0, 1, 500, nullptr, nullptr, 0x41));
    EXPECT_EQ(Sent()[1], 0x41);

    engine.Reset();
    engine.SetTxBuffer(tx.data(), tx.size(), MbMbap);
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, nullptr, nullptr));
    EXPECT_EQ(Sent(), (Bytes{0, 0, 0, 0, 0, 6, 0xFE, 0x03, 0x00, 0x64, 0x00, 0x01}));
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, nullptr, nullptr));
    EXPECT_EQ(Sent()[1], 1);  // the next transaction id
    EXPECT_EQ(engine.TransactionCounter, 2);
}

TEST_F(EngineTest, WriteRequestShapes)
{
    struct Case {
        Bytes data;
        uint32_t area;
        Bytes frameWithoutCrc;
    };
    const Case cases[] = {
        // Two bytes or fewer: write single; the value is the host word sent big-endian.
        {{0x34, 0x12}, MbHoldingRegisters, {0xFE, 0x06, 0x07, 0xD2, 0x12, 0x34}},
        {{0x7F}, MbHoldingRegisters, {0xFE, 0x06, 0x07, 0xD2, 0x00, 0x7F}},
        {{0x00, 0xFF}, MbCoils, {0xFE, 0x05, 0x07, 0xD2, 0xFF, 0x00}},
        // Three bytes: two registers, byte count 4, a zero byte appended, swapped to wire order.
        {{0x41, 0x42, 0x43}, MbHoldingRegisters, {0xFE, 0x10, 0x07, 0xD2, 0x00, 0x02, 0x04, 0x42, 0x41, 0x00, 0x43}},
        {{0x01, 0x02, 0x03, 0x04},
         MbHoldingRegisters,
         {0xFE, 0x10, 0x07, 0xD2, 0x00, 0x02, 0x04, 0x02, 0x01, 0x04, 0x03}},
        {{0x01, 0x00, 0x00, 0x00}, MbCoils, {0xFE, 0x0F, 0x07, 0xD2, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x00}},
    };
    for (const Case &c : cases) {
        engine.Reset();
        ASSERT_TRUE(engine.BuildWriteRequest(c.data.data(), static_cast<uint16_t>(c.data.size()), c.area, 254, 2002,
                                             500, nullptr, nullptr));
        EXPECT_EQ(Sent(), Rtu(c.frameWithoutCrc)) << "bytes " << c.data.size() << " area " << c.area;
    }

    engine.Reset();
    engine.NoSwap = 1;
    const Bytes raw = {0x01, 0x02, 0x03, 0x04};
    ASSERT_TRUE(engine.BuildWriteRequest(raw.data(), 4, MbHoldingRegisters, 1, 0, 500, nullptr, nullptr));
    const Bytes sent = Sent();
    EXPECT_EQ(Bytes(sent.begin() + 7, sent.end() - 2), raw);
}

TEST_F(EngineTest, BuildFailuresLeaveNothingToSendOrPending)
{
    const std::vector<uint8_t> big(255, 0xAA);
    // No data; a byte count that does not fit its one-byte field.
    EXPECT_FALSE(engine.BuildWriteRequest(nullptr, 2, MbHoldingRegisters, 1, 0, 500, nullptr, nullptr));
    EXPECT_FALSE(engine.BuildWriteRequest(big.data(), 0, MbHoldingRegisters, 1, 0, 500, nullptr, nullptr));
    EXPECT_FALSE(engine.BuildWriteRequest(big.data(), 255, MbHoldingRegisters, 1, 0, 500, nullptr, nullptr));
    EXPECT_TRUE(engine.BuildWriteRequest(big.data(), 254, MbHoldingRegisters, 1, 0, 500, nullptr, nullptr));
    engine.Reset();
    tx.fill(0);

    // A transmit buffer below 10 bytes, and a frame larger than the buffer.
    engine.SetTxBuffer(tx.data(), 9, MbRtu);
    EXPECT_FALSE(engine.BuildReadRequest(MbHoldingRegisters, 1, 0, 1, 500, nullptr, nullptr));
    engine.SetTxBuffer(tx.data(), 12, MbRtu);
    EXPECT_FALSE(engine.BuildWriteRequest(big.data(), 4, MbHoldingRegisters, 1, 0, 500, nullptr, nullptr));
    EXPECT_EQ(tx[12], 0) << "wrote past the transmit buffer";
    EXPECT_EQ(engine.TxLength(), 0);
    EXPECT_EQ(engine.PendingCount(), 0);

    // Under MBAP 10 or 11 bytes hold the header but not a request's 4 data bytes.
    for (uint16_t capacity : {10, 11}) {
        SCOPED_TRACE(capacity);
        tx.fill(0xEE);
        engine.SetTxBuffer(tx.data(), capacity, MbMbap);
        EXPECT_FALSE(engine.BuildReadRequest(MbHoldingRegisters, 1, 0x1234, 1, 500, nullptr, nullptr));
        EXPECT_FALSE(engine.BuildWriteRequest(big.data(), 2, MbHoldingRegisters, 1, 0x1234, 500, nullptr, nullptr));
        EXPECT_FALSE(engine.BuildWriteRequest(big.data(), 1, MbCoils, 1, 0x1234, 500, nullptr, nullptr));
        for (size_t i = capacity; i < 16; ++i)
            EXPECT_EQ(tx[i], 0xEE) << "wrote past the transmit buffer at " << i;
        EXPECT_EQ(engine.TxLength(), 0);
        EXPECT_EQ(engine.PendingCount(), 0);
    }
}

TEST_F(EngineTest, SecondRequestForTheSameKeyIsRefusedUnderRtuOnly)
{
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, nullptr, nullptr));
    EXPECT_FALSE(engine.BuildReadRequest(MbHoldingRegisters, 254, 200, 1, 500, nullptr, nullptr));
    EXPECT_EQ(engine.TxLength(), 0) << "a refused request must not be offered for sending";
    // Another function code or unit is another key.
    EXPECT_TRUE(engine.BuildReadRequest(MbInputRegisters, 254, 100, 1, 500, nullptr, nullptr));
    EXPECT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 253, 100, 1, 500, nullptr, nullptr));
    EXPECT_EQ(engine.PendingCount(), 3);

    engine.Reset();
    engine.SetTxBuffer(tx.data(), tx.size(), MbMbap);
    EXPECT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, nullptr, nullptr));
    EXPECT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, nullptr, nullptr));
    EXPECT_EQ(engine.PendingCount(), 2);
}

TEST_F(EngineTest, ReplyReachesItsCallbackOnce)
{
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 2, 500, Record, &ctx));
    EXPECT_EQ(Feed(Rtu({0xFE, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78})), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    const Call &c = g_calls[0];
    EXPECT_EQ(c.context, &ctx);
    EXPECT_EQ(c.status, MbReplyNormal);
    EXPECT_EQ(c.unit, 254);
    EXPECT_EQ(c.function, 3);
    EXPECT_EQ(c.deadline, 5500u);
    EXPECT_EQ(c.data, (Bytes{0x34, 0x12, 0x78, 0x56}));  // host order
    EXPECT_EQ(engine.PendingCount(), 0);
    EXPECT_EQ(engine.AcceptedLength(), 9);

    // Parsing again gives the same bytes: the data are not swapped twice.
    const uint8_t *data = nullptr;
    ASSERT_EQ(engine.ParseReadResponse(&data), 4);
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{0x34, 0x12, 0x78, 0x56}));
    EXPECT_EQ(rx[3], 0x12) << "the received frame must stay as it came";
}

TEST_F(EngineTest, ExceptionReplyGivesStatusOneAndNoData)
{
    ASSERT_TRUE(
        engine.BuildWriteRequest(Bytes{1, 0, 0, 0}.data(), 4, MbHoldingRegisters, 254, 2002, 500, Record, &ctx));
    EXPECT_EQ(Feed(Rtu({0xFE, 0x90, 0x02})), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].status, MbReplyException);
    EXPECT_EQ(g_calls[0].function, 16);
    EXPECT_EQ(g_calls[0].bytes, 0);
    EXPECT_EQ(engine.PendingCount(), 0);
}

TEST_F(EngineTest, ReadReplyNeverReportsBytesBeyondTheFrame)
{
    struct Case {
        Bytes body;
        int expected;
        Bytes data;
    };
    const Case cases[] = {
        // Claims 200 bytes, carries 4: only the 4 are reported.
        {{0xFE, 0x03, 200, 0x12, 0x34, 0x56, 0x78}, 4, {0x34, 0x12, 0x78, 0x56}},
        // Claims 2, carries 1 (odd): the missing half reads as zero.
        {{0xFE, 0x03, 2, 0x12}, 1, {0x00}},
        // No byte count at all.
        {{0xFE, 0x03}, 0, {}},
        // Claims fewer than it carries: the claim wins.
        {{0xFE, 0x01, 1, 0x05, 0x77}, 1, {0x05}},
    };
    for (const Case &c : cases) {
        g_calls.clear();
        engine.Reset();
        ASSERT_TRUE(
            engine.BuildReadRequest(c.body[1] == 1 ? MbCoils : MbHoldingRegisters, 254, 0, 2, 500, Record, &ctx));
        EXPECT_EQ(Feed(Rtu(c.body)), 1);
        ASSERT_EQ(g_calls.size(), 1u);
        EXPECT_EQ(g_calls[0].bytes, c.expected);
        EXPECT_EQ(g_calls[0].data, c.data);
        // Whatever a decoder reads past the count is zero, never another frame's bytes.
        const uint8_t *data = nullptr;
        engine.ParseReadResponse(&data);
        for (int i = c.expected + 1; i < 256; ++i)
            ASSERT_EQ(data[i], 0) << i;
    }
}

TEST_F(EngineTest, DeadlineEqualToNowHasNotTimedOut)
{
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, Record, &ctx));
    clock.Set(5500);
    engine.Run();
    EXPECT_TRUE(g_calls.empty());
    clock.Set(5501);
    engine.Run();
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].status, MbReplyTimeout);
    EXPECT_EQ(g_calls[0].unit, 254);
    EXPECT_EQ(g_calls[0].function, 3);
    EXPECT_EQ(g_calls[0].deadline, 5500u);
    EXPECT_EQ(engine.PendingCount(), 0);

    // A reply after the timeout finds nothing pending and is taken as a request to unit
    // 254; too short to be one, it is answered as malformed and never read past its end.
    EXPECT_EQ(Feed(Rtu({0xFE, 0x03, 0x02, 0x00, 0x01})), 2);
    EXPECT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(Sent(), Rtu({0xFE, 0x83, 0x03}));
}

TEST_F(EngineTest, DeadlinesSurviveTheWrapOfTheTickCounter)
{
    clock.Set(0xFFFFFF00u);
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, Record, &ctx));
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 7, 100, 1, 100, Record, &ctx));
    // Deadlines 0xF4 (after the wrap) and 0xFFFFFF64 (before it).
    clock.Set(0xFFFFFF64u);
    engine.Run();
    EXPECT_TRUE(g_calls.empty());
    clock.Set(0xFFFFFFFFu);  // an unsigned comparison would expire the first here
    engine.Run();
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].unit, 7);
    clock.Set(0xF4);
    engine.Run();
    EXPECT_EQ(g_calls.size(), 1u);
    clock.Set(0xF5);
    engine.Run();
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[1].unit, 254);
    EXPECT_EQ(g_calls[1].deadline, 0xF4u);
}

TEST_F(EngineTest, ResetDropsPendingRequestsSilently)
{
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 254, 100, 1, 500, Record, &ctx));
    engine.Reset();
    EXPECT_EQ(engine.PendingCount(), 0);
    EXPECT_EQ(engine.TxLength(), 0);
    clock.Advance(10000);
    engine.Run();
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(EngineTest, MbapReplyMatchesByTransactionId)
{
    engine.SetTxBuffer(tx.data(), tx.size(), MbMbap);
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 1, 0, 1, 500, Record, &ctx));
    int other = 0;
    ASSERT_TRUE(engine.BuildReadRequest(MbHoldingRegisters, 1, 0, 1, 500, Record, &other));
    // The reply to transaction 1 arrives first; trailing bytes beyond the length field are not accepted.
    EXPECT_EQ(Feed({0, 1, 0, 0, 0, 5, 1, 3, 2, 0xAB, 0xCD, 0xEE}, MbMbap), 1);
    EXPECT_EQ(engine.AcceptedLength(), 11);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].context, &other);
    EXPECT_EQ(g_calls[0].tid, 1);
    EXPECT_EQ(g_calls[0].data, (Bytes{0xCD, 0xAB}));
    EXPECT_EQ(engine.PendingCount(), 1);
}

TEST_F(EngineTest, FrameForAnotherUnitIsLeftAlone)
{
    EXPECT_EQ(Feed(Rtu({0x07, 0x03, 0x00, 0x00, 0x00, 0x01})), -1);
    EXPECT_EQ(engine.TxLength(), 0);
    EXPECT_EQ(engine.AcceptedLength(), 8);
}

TEST_F(EngineTest, UnknownFunctionToThisNodeGetsExceptionOne)
{
    EXPECT_EQ(Feed(Rtu({0xFE, 0x07})), 2);
    EXPECT_EQ(Sent(), Rtu({0xFE, 0x87, 0x01}));
    engine.SetTxBuffer(tx.data(), tx.size(), MbMbap);
    EXPECT_EQ(Feed({0x12, 0x34, 0, 0, 0, 2, 0x00, 0x07}, MbMbap), 2);
    EXPECT_EQ(Sent(), (Bytes{0x12, 0x34, 0, 0, 0, 3, 0x00, 0x87, 0x01}));
}

// Raw frames as they may come off the line.
TEST_F(EngineTest, FramingTable)
{
    const Bytes good = Rtu({0xFE, 0x03, 0x00, 0x64, 0x00, 0x01});
    Bytes badCrc = good;
    badCrc.back() ^= 0x01;
    Bytes cut(good.begin(), good.end() - 1);
    Bytes two = good;
    two.insert(two.end(), good.begin(), good.end());
    Bytes garbageFirst = {0x00, 0x55};
    garbageFirst.insert(garbageFirst.end(), good.begin(), good.end());
    const Bytes tiny = Rtu({0xFE});  // unit and CRC only: no function code

    struct Case {
        const char *name;
        Bytes frame;
        uint32_t framing;
        int result;
        uint16_t accepted;
    };
    const Case cases[] = {
        {"good request", good, MbRtu, 2, 8},
        {"bad crc", badCrc, MbRtu, 0, 0},
        {"cut short", cut, MbRtu, 0, 0},
        {"two frames in one chunk", two, MbRtu, 0, 0},
        {"garbage before the frame", garbageFirst, MbRtu, 0, 0},
        {"empty", {}, MbRtu, 0, 0},
        {"one byte", {0xFE}, MbRtu, 0, 0},
        {"no function code", tiny, MbRtu, 0, 0},
        {"mbap request", {0, 9, 0, 0, 0, 6, 0xFE, 0x03, 0x00, 0x64, 0x00, 0x01}, MbMbap, 2, 12},
        {"mbap length zero", {0, 9, 0, 0, 0, 0, 0xFE, 0x03}, MbMbap, 0, 0},
        {"mbap length without function code", {0, 9, 0, 0, 0, 1, 0xFE}, MbMbap, 0, 0},
        {"mbap shorter than its length", {0, 9, 0, 0, 0, 6, 0xFE, 0x03, 0x00, 0x64, 0x00}, MbMbap, 0, 0},
        {"mbap header only", {0, 9, 0, 0, 0, 6}, MbMbap, 0, 0},
    };
    for (const Case &c : cases) {
        g_calls.clear();
        // Exact-size heap copies so that ASan catches any read past the frame.
        std::vector<uint8_t> exact(c.frame);
        int result =
            engine.ProcessFrame(exact.empty() ? nullptr : exact.data(), static_cast<uint16_t>(exact.size()), c.framing);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(engine.AcceptedLength(), c.accepted) << c.name;
        EXPECT_EQ(engine.RxValid(), c.result != 0) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(engine.TxLength(), 0) << c.name;
            EXPECT_EQ(engine.RxUnit(), 0) << c.name;
        }
    }
}

}  // namespace
