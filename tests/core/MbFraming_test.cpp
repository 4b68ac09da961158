#include "core/MbFraming.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "MbTestFrames.h"
#include "core/MicroModbus.h"

namespace {

// A reply's first bytes and what the table makes of the first 1, 2, 3 ... of them.
struct HeadCase {
    const char *name;
    Bytes head;
    std::vector<uint32_t> byPrefix;  // [k] = expected length from the first k + 1 bytes
};

void CheckHeads(const MbFrameRules &rules, const std::vector<HeadCase> &cases)
{
    for (const HeadCase &c : cases) {
        ASSERT_EQ(c.head.size(), c.byPrefix.size()) << c.name;
        for (size_t k = 0; k < c.head.size(); ++k)
            EXPECT_EQ(rules.ReplyLength(c.head.data(), static_cast<uint16_t>(k + 1)), c.byPrefix[k])
                << c.name << ", head of " << k + 1 << " bytes";
    }
}

TEST(MbFramingTest, RtuReplyLengthFromTheHead)
{
    CheckHeads(kMbRtuRules, {
                                {"exception", {0xFE, 0x83, 0x02}, {0, 5, 5}},
                                {"exception to a write", {0xFE, 0x90, 0x03}, {0, 5, 5}},
                                {"read coils", {0xFE, 0x01, 0x01}, {0, 0, 6}},
                                {"read inputs", {0xFE, 0x02, 0x02}, {0, 0, 7}},
                                {"read holding", {0xFE, 0x03, 0x04}, {0, 0, 9}},
                                {"read input registers", {0xFE, 0x04, 0x02}, {0, 0, 7}},
                                {"read, largest count", {0xFE, 0x03, 0xFF}, {0, 0, 260}},
                                {"read, empty", {0xFE, 0x03, 0x00}, {0, 0, 5}},
                                {"write coil", {0xFE, 0x05, 0x00}, {0, 8, 8}},
                                {"write register", {0xFE, 0x06, 0x07}, {0, 8, 8}},
                                {"write coils", {0xFE, 0x0F, 0x00}, {0, 8, 8}},
                                {"write registers", {0xFE, 0x10, 0x07}, {0, 8, 8}},
                                {"unknown function", {0xFE, 0x07, 0x04}, {0, 0, 0}},
                                {"no function", {0xFE, 0x00, 0x04}, {0, 0, 0}},
                            });
}

TEST(MbFramingTest, MbapReplyLengthFromTheLengthField)
{
    CheckHeads(
        kMbMbapRules,
        {
            {"read holding", {0x00, 0x05, 0x00, 0x00, 0x00, 0x07, 0xFE, 0x03, 0x04}, {0, 0, 0, 0, 0, 13, 13, 13, 13}},
            {"exception", {0x00, 0x05, 0x00, 0x00, 0x00, 0x03, 0xFE, 0x83, 0x02}, {0, 0, 0, 0, 0, 9, 9, 9, 9}},
            {"write registers", {0x12, 0x34, 0x00, 0x00, 0x00, 0x06, 0xFE, 0x10}, {0, 0, 0, 0, 0, 12, 12, 12}},
            {"long length field", {0x00, 0x01, 0x00, 0x00, 0x01, 0x02, 0xFE}, {0, 0, 0, 0, 0, 264, 264}},
            // Unit and function code must be counted: shorter lengths never frame.
            {"length 1", {0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0xFE}, {0, 0, 0, 0, 0, 0, 0}},
            {"length 0", {0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, {0, 0, 0, 0, 0, 0}},
        });
}

TEST(MbFramingTest, RtuAcceptChecksTheCrc)
{
    const Bytes good = Rtu({0xFE, 0x03, 0x02, 0x12, 0x34});
    const auto accept = [](const Bytes &b) { return kMbRtuRules.Accept(b.data(), static_cast<uint16_t>(b.size())); };
    EXPECT_EQ(accept(good), good.size());
    EXPECT_EQ(accept(Rtu({0xFE, 0x83})), 4u) << "unit, function code and CRC are the least";

    Bytes badLow = good;
    badLow[badLow.size() - 2] ^= 0x01;
    Bytes badHigh = good;
    badHigh.back() ^= 0x80;
    Bytes badData = good;
    badData[3] ^= 0x10;
    Bytes swapped = good;
    std::swap(swapped[swapped.size() - 2], swapped.back());
    const Bytes cut(good.begin(), good.end() - 1);
    const Bytes extra = [&] {
        // Not 0x00: a zero byte after the CRC leaves the CRC of the first n bytes in the last
        // two, so the check alone cannot see it; the length from the head does.
        Bytes b = good;
        b.push_back(0x55);
        return b;
    }();
    for (const Bytes *bad : std::initializer_list<const Bytes *>{&badLow, &badHigh, &badData, &swapped, &cut, &extra})
        EXPECT_EQ(accept(*bad), 0u) << testing::PrintToString(*bad);
    EXPECT_EQ(accept(Bytes{0x01, 0x41, 0xBF}), 0u) << "3 bytes cannot hold a frame";
}

TEST(MbFramingTest, MbapAcceptChecksTheLengthField)
{
    const auto accept = [](const Bytes &b) { return kMbMbapRules.Accept(b.data(), static_cast<uint16_t>(b.size())); };
    const Bytes good{0x00, 0x09, 0x00, 0x00, 0x00, 0x05, 0xFE, 0x03, 0x02, 0x12, 0x34};
    EXPECT_EQ(accept(good), 11u);
    Bytes trailing = good;
    trailing.push_back(0xAA);
    EXPECT_EQ(accept(trailing), 11u) << "the frame is the declared part; the rest is left over";
    EXPECT_EQ(accept(Bytes(good.begin(), good.end() - 1)), 0u) << "cut short";
    EXPECT_EQ(accept(Bytes(good.begin(), good.begin() + 7)), 0u) << "no function code";
    EXPECT_EQ(accept(Bytes{0x00, 0x09, 0x00, 0x00, 0x00, 0x01, 0xFE, 0x03}), 0u) << "length without the function";
    EXPECT_EQ(accept(Bytes{0x00, 0x09, 0x00, 0x00, 0x00, 0x02, 0xFE, 0x83}), 8u);
}

TEST(MbFramingTest, HeaderAndTrailer)
{
    EXPECT_EQ(kMbRtuRules.UnitOffset(), 0);
    EXPECT_EQ(kMbRtuRules.HeaderLength, 2);
    EXPECT_EQ(kMbRtuRules.Overhead(), 4);
    EXPECT_EQ(kMbRtuRules.ShortestReply(), 5);
    EXPECT_EQ(kMbMbapRules.UnitOffset(), 6);
    EXPECT_EQ(kMbMbapRules.HeaderLength, 8);
    EXPECT_EQ(kMbMbapRules.Overhead(), 8);
    EXPECT_EQ(kMbMbapRules.ShortestReply(), 9);
    EXPECT_EQ(&MbRules(MbRtu), &kMbRtuRules);
    EXPECT_EQ(&MbRules(MbMbap), &kMbMbapRules);
    EXPECT_EQ(&MbRules(7), &kMbRtuRules) << "an unknown setting frames as RTU";

    // RTU: the CRC closes the frame, low byte first; there are no ids to carry.
    Bytes rtu{0xFE, 0x03, 0x00, 0x64, 0x00, 0x01, 0x00, 0x00};
    const Bytes rtuBefore = rtu;
    kMbRtuRules.PutTransaction(rtu.data(), 0x1234);
    kMbRtuRules.PutProtocol(rtu.data(), 0x5678);
    EXPECT_EQ(rtu, rtuBefore);
    kMbRtuRules.Finish(rtu.data(), 8);
    EXPECT_EQ(rtu, (Bytes{0xFE, 0x03, 0x00, 0x64, 0x00, 0x01, 0xD1, 0xDA}));
    EXPECT_EQ(kMbRtuRules.Transaction(rtu.data()), 0);
    EXPECT_EQ(kMbRtuRules.Protocol(rtu.data()), 0);
    uint16_t counter = 41;
    EXPECT_EQ(kMbRtuRules.NextTransaction(counter), 0);
    EXPECT_EQ(counter, 41) << "RTU requests take no transaction id";

    // MBAP: ids big-endian in the header, the length field counts from the unit on.
    Bytes mbap(12, 0);
    mbap[6] = 0xFE;
    mbap[7] = 0x03;
    kMbMbapRules.PutTransaction(mbap.data(), 0x1234);
    kMbMbapRules.PutProtocol(mbap.data(), 0x5678);
    kMbMbapRules.Finish(mbap.data(), 12);
    EXPECT_EQ(Bytes(mbap.begin(), mbap.begin() + 6), (Bytes{0x12, 0x34, 0x56, 0x78, 0x00, 0x06}));
    EXPECT_EQ(kMbMbapRules.Transaction(mbap.data()), 0x1234);
    EXPECT_EQ(kMbMbapRules.Protocol(mbap.data()), 0x5678);
    EXPECT_EQ(kMbMbapRules.Accept(mbap.data(), 12), 12);
    EXPECT_EQ(kMbMbapRules.NextTransaction(counter), 41);
    EXPECT_EQ(counter, 42);
    counter = 0xFFFF;
    EXPECT_EQ(kMbMbapRules.NextTransaction(counter), 0xFFFF);
    EXPECT_EQ(counter, 0) << "the id wraps";
}

// What the engine builds, the table measures: every reply a node sends (normal and
// exception, under both framings) is told whole from its head and accepted.
TEST(MbFramingTest, RepliesTheEngineBuildsMeasureWhole)
{
    MicroTaskManager manager;
    std::array<uint8_t, 8> regs{1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<Bytes> requests = {
        {0x01, 0x00, 0x00, 0x00, 0x0A},                                // read coils
        {0x02, 0x00, 0x00, 0x00, 0x01},                                // read inputs
        {0x03, 0x00, 0x00, 0x00, 0x04},                                // read holding
        {0x04, 0x00, 0x01, 0x00, 0x02},                                // read input registers
        {0x05, 0x00, 0x00, 0xFF, 0x00},                                // write coil
        {0x06, 0x00, 0x01, 0x12, 0x34},                                // write register
        {0x0F, 0x00, 0x00, 0x00, 0x01, 0x02, 0xFF, 0x00},              // write coils
        {0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x01, 0x00, 0x02},  // write registers
        {0x03, 0x00, 0x50, 0x00, 0x01},                                // exception: no such register
        {0x07},                                                        // exception: no such function
    };
    for (const MbFrameRules *rules : {&kMbRtuRules, &kMbMbapRules}) {
        MicroModbus engine(17, 5);
        std::array<uint8_t, 64> tx{};
        engine.SetTxBuffer(tx.data(), tx.size(), rules->Framing);
        ASSERT_TRUE(engine.AddBlock(0, MbVarMapRecord::Memory(regs.data(), regs.size())));
        for (const Bytes &pdu : requests) {
            Bytes frame;
            if (rules->Framing == MbMbap) {
                frame = {0x00, 0x2A, 0x00, 0x00, 0x00, static_cast<uint8_t>(pdu.size() + 1), 17};
                frame.insert(frame.end(), pdu.begin(), pdu.end());
            } else {
                Bytes body{17};
                body.insert(body.end(), pdu.begin(), pdu.end());
                frame = Rtu(body);
            }
            const std::string what =
                std::string(rules->Framing == MbMbap ? "MBAP" : "RTU") + " function " + std::to_string(pdu[0]);
            ASSERT_EQ(engine.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), rules->Framing), 2)
                << what;
            const uint16_t length = engine.TxLength();
            ASSERT_GE(length, rules->ShortestReply()) << what;
            EXPECT_EQ(rules->ReplyLength(tx.data(), length), length) << what;
            EXPECT_EQ(rules->Accept(tx.data(), length), length) << what;
            EXPECT_EQ(rules->Transaction(tx.data()), rules->Framing == MbMbap ? 0x2A : 0) << what;
        }
    }
}

}  // namespace
