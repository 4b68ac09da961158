#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "MbTestFrames.h"
#include "core/MicroModbus.h"

namespace {

// Routine block: 8 bytes behind an access routine; records the offsets it was given.
std::array<uint8_t, 64> g_routineStore;
std::vector<uint32_t> g_routineOffsets;

void RoutineAccess(uint8_t *buffer, uint32_t offset, uint32_t length, int direction)
{
    g_routineOffsets.push_back(offset);
    if (offset + length > g_routineStore.size())
        return;
    if (direction == 0)
        std::memcpy(buffer, g_routineStore.data() + offset, length);
    else
        std::memcpy(g_routineStore.data() + offset, buffer, length);
}

class SlaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_routineStore.fill(0);
        g_routineOffsets.clear();
        engine.SetTxBuffer(tx.data(), tx.size(), MbRtu);
        // Holding registers 100, 101 (memory), 200 (read only), 300..303 (routine, base 16).
        ASSERT_TRUE(engine.AddBlock(100, MbVarMapRecord::Memory(regs.data(), 4)));
        ASSERT_TRUE(engine.AddBlock(200, MbVarMapRecord::Memory(constant.data(), 2, true)));
        ASSERT_TRUE(engine.AddBlock(300, MbVarMapRecord::Routined(RoutineAccess, 8, 16)));
    }

    // Sends a request to this node and returns the reply without its CRC, after
    // checking that CRC.
    Bytes Ask(const Bytes &body)
    {
        Bytes frame = Rtu(body);
        EXPECT_EQ(engine.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), MbRtu), 2);
        Bytes reply = TxBytes(engine, tx.data());
        if (reply.size() < 4)
            return {};
        Bytes bodyOnly(reply.begin(), reply.end() - 2);
        EXPECT_EQ(Rtu(bodyOnly), reply) << "reply CRC";
        return bodyOnly;
    }

    MicroTaskManager manager;
    MicroModbus engine{17, 5};
    std::array<uint8_t, 256> tx{};
    std::array<uint8_t, 4> regs{0x34, 0x12, 0x78, 0x56};  // host order: 0x1234, 0x5678
    std::array<uint8_t, 2> constant{0xCD, 0xAB};
};

TEST_F(SlaveTest, ReadHoldingRegistersInWireOrder)
{
    EXPECT_EQ(Ask({17, 3, 0, 100, 0, 2}), (Bytes{17, 3, 4, 0x12, 0x34, 0x56, 0x78}));
    // Starting inside a block, and unit 254 reaches every node.
    EXPECT_EQ(Ask({254, 4, 0, 101, 0, 1}), (Bytes{254, 4, 2, 0x56, 0x78}));
    engine.NoSwap = 1;
    EXPECT_EQ(Ask({17, 3, 0, 100, 0, 1}), (Bytes{17, 3, 2, 0x34, 0x12}));
}

TEST_F(SlaveTest, RegistersWithoutABlockReadAsZero)
{
    // Three registers from 100: only two are covered.
    EXPECT_EQ(Ask({17, 3, 0, 100, 0, 3}), (Bytes{17, 3, 6, 0x12, 0x34, 0x56, 0x78, 0, 0}));
}

TEST_F(SlaveTest, ExceptionCodes)
{
    struct Case {
        const char *name;
        Bytes request;
        uint8_t code;
    };
    const Case cases[] = {
        {"no handler", {17, 7}, 1},
        {"start not covered", {17, 3, 0x01, 0xF4, 0, 1}, 2},
        {"start just past a block", {17, 3, 0, 102, 0, 1}, 2},
        {"quantity zero", {17, 3, 0, 100, 0, 0}, 2},
        {"quantity too large for the byte count", {17, 3, 0, 100, 0, 128}, 3},
        {"coils quantity above 255", {17, 1, 0, 100, 0x01, 0x00}, 2},
        {"write single outside the map", {17, 6, 0x01, 0xF4, 0, 1}, 2},
        {"write multiple: byte count below 2 x quantity", {17, 16, 0, 100, 0, 2, 2, 0, 1}, 3},
        {"write multiple: byte count beyond the frame", {17, 16, 0, 100, 0, 2, 200, 0, 1, 0, 2}, 3},
        {"read request cut short", {17, 3, 0, 100}, 3},
        {"write multiple header cut short", {17, 16, 0, 100, 0}, 3},
    };
    for (const Case &c : cases) {
        const Bytes before(regs.begin(), regs.end());
        Bytes reply = Ask(c.request);
        EXPECT_EQ(reply, (Bytes{17, static_cast<uint8_t>(c.request[1] | 0x80), c.code})) << c.name;
        EXPECT_EQ(Bytes(regs.begin(), regs.end()), before) << c.name;
    }

    MicroModbus empty(17, 5);
    empty.SetTxBuffer(tx.data(), tx.size(), MbRtu);
    Bytes frame = Rtu({17, 4, 0, 0, 0, 1});
    EXPECT_EQ(empty.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), MbRtu), 2);
    EXPECT_EQ(TxBytes(empty, tx.data()), Rtu({17, 0x84, 2}));
}

TEST_F(SlaveTest, ReplyThatWouldNotFitTheTransmitBufferIsRefused)
{
    engine.SetTxBuffer(tx.data(), 16, MbRtu);
    tx.fill(0xEE);
    // 6 registers need 12 + 5 bytes; 5 registers need 15.
    EXPECT_EQ(Ask({254, 3, 0, 100, 0, 6}), (Bytes{254, 0x83, 3}));
    EXPECT_EQ(Ask({254, 3, 0, 100, 0, 5}).size(), 13u);
    EXPECT_EQ(tx[15], 0xEE) << "wrote the buffer's last byte";
}

TEST_F(SlaveTest, WriteWhoseEchoWouldNotFitIsRefusedAndStoresNothing)
{
    // MBAP in 11 bytes: room for the header and an exception code, not a 4-byte echo.
    const Bytes requests[] = {
        {0, 1, 0, 0, 0, 6, 17, 6, 0, 100, 0xBE, 0xEF},
        {0, 2, 0, 0, 0, 9, 17, 16, 0, 100, 0, 1, 2, 0xBE, 0xEF},
    };
    for (const Bytes &request : requests) {
        tx.fill(0xEE);
        engine.SetTxBuffer(tx.data(), 11, MbMbap);
        Bytes frame = request;
        ASSERT_EQ(engine.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), MbMbap), 2);
        EXPECT_EQ(TxBytes(engine, tx.data()),
                  (Bytes{0, request[1], 0, 0, 0, 3, 17, static_cast<uint8_t>(request[7] | 0x80), 3}));
        EXPECT_EQ(tx[11], 0xEE) << "wrote past the transmit buffer";
        EXPECT_EQ(regs, (std::array<uint8_t, 4>{0x34, 0x12, 0x78, 0x56}));
    }
}

TEST_F(SlaveTest, WritesStoreHostOrderAndEchoTheRequest)
{
    EXPECT_EQ(Ask({17, 6, 0, 101, 0xBE, 0xEF}), (Bytes{17, 6, 0, 101, 0xBE, 0xEF}));
    EXPECT_EQ(regs, (std::array<uint8_t, 4>{0x34, 0x12, 0xEF, 0xBE}));

    EXPECT_EQ(Ask({17, 16, 0, 100, 0, 2, 4, 0xA1, 0xA2, 0xB1, 0xB2}), (Bytes{17, 16, 0, 100, 0, 2}));
    EXPECT_EQ(regs, (std::array<uint8_t, 4>{0xA2, 0xA1, 0xB2, 0xB1}));

    // A write that runs past the last block stops there and reports what it wrote.
    EXPECT_EQ(Ask({17, 16, 0, 101, 0, 2, 4, 0xC1, 0xC2, 0xD1, 0xD2}), (Bytes{17, 16, 0, 101, 0, 1}));
    EXPECT_EQ(regs, (std::array<uint8_t, 4>{0xA2, 0xA1, 0xC2, 0xC1}));
}

TEST_F(SlaveTest, ReadOnlyBlockAcknowledgesWritesAndKeepsItsValue)
{
    EXPECT_EQ(Ask({17, 6, 0, 200, 0, 1}), (Bytes{17, 6, 0, 200, 0, 1}));
    EXPECT_EQ(Ask({17, 16, 0, 200, 0, 1, 2, 0, 1}), (Bytes{17, 16, 0, 200, 0, 1}));
    EXPECT_EQ(constant, (std::array<uint8_t, 2>{0xCD, 0xAB}));
    EXPECT_EQ(Ask({17, 3, 0, 200, 0, 1}), (Bytes{17, 3, 2, 0xAB, 0xCD}));
}

TEST_F(SlaveTest, RoutineBlockIsCalledWithItsBasePlusTheOffset)
{
    EXPECT_EQ(Ask({17, 16, 1, 45, 0, 2, 4, 0x11, 0x22, 0x33, 0x44}), (Bytes{17, 16, 1, 45, 0, 2}));  // register 301
    EXPECT_EQ(g_routineOffsets, std::vector<uint32_t>{18});
    EXPECT_EQ(g_routineStore[18], 0x22);
    EXPECT_EQ(g_routineStore[19], 0x11);
    EXPECT_EQ(Ask({17, 3, 1, 44, 0, 3}), (Bytes{17, 3, 6, 0, 0, 0x11, 0x22, 0x33, 0x44}));
}

TEST_F(SlaveTest, CoilsArePackedBitsOfNonZeroRegisters)
{
    std::array<uint8_t, 20> coils{};  // registers 0..9
    ASSERT_TRUE(engine.AddBlock(0, MbVarMapRecord::Memory(coils.data(), coils.size())));
    coils[0] = 1;   // coil 0
    coils[17] = 9;  // coil 8 (high byte only)

    EXPECT_EQ(Ask({17, 1, 0, 0, 0, 9}), (Bytes{17, 1, 2, 0x01, 0x01}));
    EXPECT_EQ(Ask({17, 2, 0, 0, 0, 8}), (Bytes{17, 2, 1, 0x01}));

    // Write single coil: any non-zero value stores 0xFFFF.
    EXPECT_EQ(Ask({17, 5, 0, 3, 0x12, 0x34}), (Bytes{17, 5, 0, 3, 0x12, 0x34}));
    EXPECT_EQ(coils[6], 0xFF);
    EXPECT_EQ(coils[7], 0xFF);
    EXPECT_EQ(Ask({17, 5, 0, 3, 0, 0}).size(), 6u);
    EXPECT_EQ(coils[6], 0);

    // Write multiple coils: one word per coil; anything but 0 and 0xFFFF becomes 0xFFFF.
    EXPECT_EQ(Ask({17, 15, 0, 4, 0, 3, 6, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF}), (Bytes{17, 15, 0, 4, 0, 3}));
    EXPECT_EQ(Bytes(coils.begin() + 8, coils.begin() + 14), (Bytes{0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(SlaveTest, MbapRequestGetsAnMbapReply)
{
    engine.SetTxBuffer(tx.data(), tx.size(), MbMbap);
    Bytes frame = {0xAB, 0xCD, 0, 0, 0, 6, 17, 3, 0, 100, 0, 1};
    ASSERT_EQ(engine.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), MbMbap), 2);
    EXPECT_EQ(TxBytes(engine, tx.data()), (Bytes{0xAB, 0xCD, 0, 0, 0, 5, 17, 3, 2, 0x12, 0x34}));
}

TEST_F(SlaveTest, RegisterWalkStaysInsideTheCallersBuffer)
{
    // An odd block: its last register is half there.
    std::array<uint8_t, 3> odd{1, 2, 3};
    std::array<uint8_t, 2> next{4, 5};
    ASSERT_TRUE(engine.AddBlock(400, MbVarMapRecord::Memory(odd.data(), 3)));
    ASSERT_TRUE(engine.AddBlock(402, MbVarMapRecord::Memory(next.data(), 2)));

    std::array<uint8_t, 8> out;
    out.fill(0xEE);
    EXPECT_EQ(engine.ReadRegisters(400, out.data(), 3), 3u);
    EXPECT_EQ(out[3], 0xEE) << "padding written past the requested length";
    EXPECT_EQ(engine.ReadRegisters(400, out.data(), 6), 6u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{1, 2, 3, 0, 4, 5}));

    // Writing across it keeps each register's bytes with that register.
    const uint8_t in[6] = {10, 20, 30, 40, 50, 60};
    EXPECT_EQ(engine.WriteRegisters(400, in, 6), 6u);
    EXPECT_EQ(odd, (std::array<uint8_t, 3>{10, 20, 30}));
    EXPECT_EQ(next, (std::array<uint8_t, 2>{50, 60}));

    EXPECT_EQ(engine.ReadRegisters(500, out.data(), 2), 0u);
    EXPECT_EQ(engine.WriteRegisters(500, in, 2), 0u);
}

TEST_F(SlaveTest, WriteMultipleCountsOnlyRegistersReallyStored)
{
    // A 3-byte block alone at register 0: a 2-register write stores 3 bytes; the fourth is
    // the pad of the half register the block lacks and goes nowhere.
    std::array<uint8_t, 3> odd{1, 2, 3};
    ASSERT_TRUE(engine.AddBlock(0, MbVarMapRecord::Memory(odd.data(), 3)));
    EXPECT_EQ(Ask({17, 16, 0, 0, 0, 2, 4, 0xA1, 0xA2, 0xB1, 0xB2}), (Bytes{17, 16, 0, 0, 0, 1}));
    EXPECT_EQ(odd, (std::array<uint8_t, 3>{0xA2, 0xA1, 0xB2}));
    uint32_t stored = 0;
    const uint8_t in[4] = {1, 2, 3, 4};
    EXPECT_EQ(engine.WriteRegisters(0, in, 4, &stored), 4u);
    EXPECT_EQ(stored, 3u);
}

TEST_F(SlaveTest, BlockWithoutBytesCountsAsNoBlock)
{
    // Registers 598 and 599, then an empty block at 600: every walk must get past it.
    std::array<uint8_t, 4> before{1, 2, 3, 4};
    std::array<uint8_t, 1> empty{0x77};
    ASSERT_TRUE(engine.AddBlock(598, MbVarMapRecord::Memory(before.data(), 4)));
    ASSERT_TRUE(engine.AddBlock(600, MbVarMapRecord::Memory(empty.data(), 0)));

    std::array<uint8_t, 6> out;
    out.fill(0xEE);
    EXPECT_EQ(engine.ReadRegisters(598, out.data(), 6), 6u);
    EXPECT_EQ(Bytes(out.begin(), out.end()), (Bytes{1, 2, 3, 4, 0, 0}));
    const uint8_t in[6] = {10, 20, 30, 40, 50, 60};
    EXPECT_EQ(engine.WriteRegisters(598, in, 6), 4u);
    EXPECT_EQ(empty[0], 0x77);
    EXPECT_EQ(engine.ReadRegisters(600, out.data(), 2), 0u);
    EXPECT_EQ(engine.WriteRegisters(600, in, 2), 0u);
    EXPECT_EQ(Ask({17, 3, 0x02, 0x58, 0, 1}), (Bytes{17, 0x83, 2}));
}

}  // namespace
