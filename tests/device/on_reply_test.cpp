// Read replies decoded into value texts, from hand-written frames fed to the engine;
// exception replies, acknowledgements and time-outs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DeviceTestUtil.h"
#include "device/ActionManager.h"

using testutil::FakeClock;
using testutil::U16;
using testutil::WithCrc;

namespace {

class OnReplyTest : public ::testing::Test {
protected:
    void SetUp() override { ConsecutiveTimeouts = 0; }

    ModbusAction *Variable(uint32_t type, uint16_t count)
    {
        ModbusAction *v = shell.NewVariable();
        v->Name = MString(u"Test.Var");
        v->Type = type;
        v->RegAddress = 1000;
        v->RegCount = count;
        return v;
    }
    // Sends a read for the variable and answers it with the given reply (CRC appended).
    int ReadAndReply(ModbusAction *v, std::vector<uint8_t> reply)
    {
        EXPECT_TRUE(
            shell.Engine.BuildReadRequest(v->Area, 254, v->RegAddress, v->RegCount, 500, &ModbusShell::OnReply, v));
        v->State = mbsSent;
        const std::vector<uint8_t> frame = WithCrc(std::move(reply));
        return shell.Engine.ProcessFrame(frame.data(), static_cast<uint16_t>(frame.size()), MbRtu);
    }

    FakeClock clock;
    ModbusShell shell;
};

TEST_F(OnReplyTest, ReadRepliesDecodeByType)
{
    struct Case {
        const char *label;
        uint32_t type;
        uint16_t count;
        std::vector<uint8_t> reply;  // unit, function, byte count, register bytes as on the wire
        std::u16string expected;
    } cases[] = {
        {"bool zero", mbtBool, 1, {0xFE, 0x03, 0x02, 0x00, 0x00}, u"false"},
        {"bool non-zero", mbtBool, 1, {0xFE, 0x03, 0x02, 0x00, 0x01}, u"true"},
        {"unsigned short", mbtUShort, 1, {0xFE, 0x03, 0x02, 0xFF, 0xFE}, u"65534"},
        {"negative short", mbtShort, 1, {0xFE, 0x03, 0x02, 0xFF, 0xFE}, u"-2"},
        {"unsigned int above 2^31, low register first",
         mbtUInt,
         2,
         {0xFE, 0x03, 0x04, 0x00, 0x01, 0x80, 0x00},
         u"2147483649"},
        {"negative int", mbtInt, 2, {0xFE, 0x03, 0x04, 0xFF, 0xFB, 0xFF, 0xFF}, u"-5"},
        {"int64", mbtInt64, 4, {0xFE, 0x03, 0x08, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, u"-2"},
        {"ASCII type text, first character in the low byte",
         mbtAscii,
         10,
         {0xFE, 0x03, 0x14, 'u', 'Q', 'n', 'i', 'a',  't',  'o',  'v', 't',
          'l',  ' ',  'e',  '.', '1', '1', '1', 0x00, 0x00, 0x00, 0x00},
         u"Quintavolte 1.11"},
        {"ASCII without a terminator ends with the reply", mbtAscii, 1, {0xFE, 0x03, 0x02, 'B', 'A'}, u"AB"},
        {"ASCII from the ANSI code page", mbtAscii, 1, {0xFE, 0x03, 0x02, 0xFF, 0xC0}, u"\u0410\u044f"},
        {"binary data", mbtBinary, 1, {0xFE, 0x03, 0x02, 0x1F, 0x0A}, u"0A 1F "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        ModbusAction *v = Variable(c.type, c.count);
        EXPECT_EQ(ReadAndReply(v, c.reply), 1);
        EXPECT_EQ(v->State, mbsDone);
        EXPECT_EQ(U16(v->Value), c.expected);
    }
}

TEST_F(OnReplyTest, BitAreasGiveTheFirstDataByteWithoutLeadingZeros)
{
    struct Case {
        uint32_t area;
        uint16_t bits;
        std::vector<uint8_t> reply;
        std::u16string expected;
    } cases[] = {
        {MbCoils, 8, {0xFE, 0x01, 0x01, 0x05}, u"5"},
        {MbCoils, 9, {0xFE, 0x01, 0x02, 0x0A, 0xFF}, u"10"},   // only the first byte; its own zero stays
        {MbDiscreteInputs, 8, {0xFE, 0x02, 0x01, 0x00}, u""},  // a zero byte reads as the empty text
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reply[3]));
        ModbusAction *v = Variable(mbtUShort, c.bits);
        v->Area = c.area;
        EXPECT_EQ(ReadAndReply(v, c.reply), 1);
        EXPECT_EQ(v->State, mbsDone);
        EXPECT_EQ(U16(v->Value), c.expected);
    }
}

TEST_F(OnReplyTest, FloatsDecodeThroughTheCommonNumberFormat)
{
    ModbusAction *v = Variable(mbtFloat, 2);
    ASSERT_EQ(ReadAndReply(v, {0xFE, 0x03, 0x04, 0x66, 0x66, 0x41, 0x66}), 1);  // 14.4f = 0x41666666
    EXPECT_EQ(U16(v->Value), U16(MString::FromReal(14.4f, 10, 5)));
    // 14.4f is 14.3999996..., and the common format cuts after five decimals.
    EXPECT_NEAR(v->Value.ToReal(), 14.4, 2e-5);

    ModbusAction *d = Variable(mbtDouble, 4);
    ASSERT_EQ(ReadAndReply(d, {0xFE, 0x03, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x04}), 1);  // -2.5
    EXPECT_DOUBLE_EQ(d->Value.ToReal(), -2.5);
}

TEST_F(OnReplyTest, RepliesThatDoNotFitTheRequestFailAndLeaveThePreviousText)
{
    // Without transaction ids, length and echo are all that tell a late reply to an
    // earlier request from ours; a reply short of the type must not be decoded either.
    struct Case {
        const char *label;
        uint32_t type;
        uint16_t count;
        std::vector<uint8_t> reply;
    } cases[] = {
        {"float answered with one register", mbtFloat, 2, {0xFE, 0x03, 0x02, 0x41, 0x66}},
        {"unsigned int answered with one register", mbtUInt, 2, {0xFE, 0x03, 0x02, 0x00, 0x07}},
        {"byte count beyond the frame", mbtUInt, 2, {0xFE, 0x03, 0x04, 0x00, 0x07}},
        {"empty read reply", mbtUShort, 2, {0xFE, 0x03, 0x00}},
        {"more registers than asked for", mbtUShort, 1, {0xFE, 0x03, 0x04, 0x00, 0x07, 0x00, 0x00}},
        {"bytes after the data", mbtUShort, 1, {0xFE, 0x03, 0x02, 0x00, 0x07, 0x00}},
        {"a type wider than the registers asked for", mbtFloat, 1, {0xFE, 0x03, 0x02, 0x41, 0x66}},
        {"an exception reply with extra bytes", mbtUShort, 1, {0xFE, 0x83, 0x02, 0x00}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        ModbusAction *v = Variable(c.type, c.count);
        v->Value = MString(u"12");
        EXPECT_EQ(ReadAndReply(v, c.reply), 1);
        EXPECT_EQ(v->State, mbsBadReply);
        EXPECT_EQ(U16(v->Value), u"12");
        EXPECT_EQ(shell.Engine.PendingCount(), 0);
    }
}

TEST_F(OnReplyTest, AWriteEchoThatDiffersFromTheRequestFailsTheWrite)
{
    struct Case {
        const char *label;
        bool multiple;
        std::vector<uint8_t> echo;  // the request was address 1000 = 0x03E8, value 3 or 2 registers
    } cases[] = {
        {"single, another address", false, {0xFE, 0x06, 0x03, 0xEA, 0x00, 0x03}},
        {"single, another value", false, {0xFE, 0x06, 0x03, 0xE8, 0x08, 0x03}},
        {"multiple, another address", true, {0xFE, 0x10, 0x03, 0xEA, 0x00, 0x02}},
        {"multiple, another quantity", true, {0xFE, 0x10, 0x03, 0xE8, 0x00, 0x01}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        ModbusAction *v = Variable(c.multiple ? mbtFloat : mbtUShort, c.multiple ? 2 : 1);
        v->Value = MString(u"3");
        v->WritePending = true;
        ASSERT_TRUE(shell.EncodeWrite(v));
        v->State = mbsSent;
        const std::vector<uint8_t> echo = WithCrc(c.echo);
        EXPECT_EQ(shell.Engine.ProcessFrame(echo.data(), static_cast<uint16_t>(echo.size()), MbRtu), 1);
        EXPECT_EQ(v->State, mbsBadReply);
    }
}

TEST_F(OnReplyTest, ExceptionsAcknowledgementsAndPendingWritesKeepTheText)
{
    ModbusAction *v = Variable(mbtUShort, 1);
    v->Value = MString(u"5");
    EXPECT_EQ(ReadAndReply(v, {0xFE, 0x83, 0x02}), 1);
    EXPECT_EQ(v->State, mbsException);
    EXPECT_EQ(U16(v->Value), u"5");

    // A write acknowledged by its echo: the written text stays.
    v->Value = MString(u"1");
    v->WritePending = true;
    ASSERT_TRUE(shell.EncodeWrite(v));
    v->State = mbsSent;
    const auto ack = WithCrc({0xFE, 0x06, 0x03, 0xE8, 0x00, 0x01});
    EXPECT_EQ(shell.Engine.ProcessFrame(ack.data(), static_cast<uint16_t>(ack.size()), MbRtu), 1);
    EXPECT_EQ(v->State, mbsDone);
    EXPECT_EQ(U16(v->Value), u"1");

    // A read answered while a new write waits: the text to write is not overwritten.
    ModbusAction *w = Variable(mbtUShort, 1);
    w->Value = MString(u"9");
    w->WritePending = true;
    EXPECT_EQ(ReadAndReply(w, {0xFE, 0x03, 0x02, 0x00, 0x03}), 1);
    EXPECT_EQ(U16(w->Value), u"9");
}

TEST_F(OnReplyTest, ElevenTimeoutsInARowDropTheConnectionTenDoNot)
{
    int lost = 0;
    shell.ConnectionLost = [&] { ++lost; };
    ModbusAction *v = Variable(mbtUShort, 1);
    auto timeOut = [&] {
        ASSERT_TRUE(shell.Engine.BuildReadRequest(2, 254, 1000, 1, 500, &ModbusShell::OnReply, v));
        clock.Advance(501);
        shell.Engine.Run();
        EXPECT_EQ(v->State, mbsTimedOut);
    };
    for (int i = 0; i < 10; ++i)
        timeOut();
    EXPECT_EQ(ConsecutiveTimeouts, 10);
    EXPECT_EQ(lost, 0);

    // A normal reply starts the count again.
    EXPECT_EQ(ReadAndReply(v, {0xFE, 0x03, 0x02, 0x00, 0x01}), 1);
    EXPECT_EQ(ConsecutiveTimeouts, 0);
    for (int i = 0; i < 10; ++i)
        timeOut();
    EXPECT_EQ(lost, 0);
    timeOut();
    EXPECT_EQ(lost, 1);
    timeOut();  // every further timeout reports again until a normal reply
    EXPECT_EQ(lost, 2);
}

TEST(ConnectionLostTest, DefaultHookDropsTheLinkWithoutASaveRequest)
{
    FakeClock clock;
    testutil::MessageRecorder messages;
    ConsecutiveTimeouts = 10;
    cActionManager manager;
    manager.BuildRegisterMap();
    manager.Identified = true;
    manager.Shell.PollingEnabled = true;
    ModbusAction *v = manager.Shell.FindVariable(MString(u"Reg.ChargeI"));
    ASSERT_TRUE(manager.Shell.Engine.BuildReadRequest(2, 254, 2004, 2, 500, &ModbusShell::OnReply, v));
    clock.Advance(501);
    manager.Shell.Engine.Run();

    EXPECT_FALSE(manager.Identified);
    EXPECT_FALSE(manager.Shell.PollingEnabled);
    ModbusAction *save = manager.Shell.FindVariable(MString(u"SaveConfigToRomNow"));
    EXPECT_FALSE(save->WritePending);
    EXPECT_TRUE(save->Value.Equals(u"--"));
    EXPECT_TRUE(messages.texts.empty());
    ConsecutiveTimeouts = 0;
}

}  // namespace
