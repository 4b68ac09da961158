// Write requests built from value texts, checked byte by byte against hand-written frames.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <string>
#include <vector>

#include "DeviceTestUtil.h"
#include "device/ModbusShell.h"

using testutil::MessageRecorder;

namespace {

struct EncodeCase {
    const char *label;
    uint32_t type;
    uint16_t reg;
    const char16_t *text;
    std::vector<uint8_t> frame;  // without the CRC
};

std::vector<uint8_t> BuiltFrame(ModbusShell &shell)
{
    const uint16_t n = shell.Engine.TxLength();
    if (n < 2)
        return {};
    return std::vector<uint8_t>(shell.TxFrame, shell.TxFrame + n - 2);
}

class EncodeWriteTest : public ::testing::Test {
protected:
    ModbusAction *Variable(uint32_t type, uint16_t reg, const char16_t *text)
    {
        ModbusAction *v = shell.NewVariable();
        v->Type = type;
        v->RegAddress = reg;
        v->Value = MString(text);
        v->WritePending = true;
        v->State = mbsRequested;
        return v;
    }
    ModbusShell shell;
    MessageRecorder messages;
};

TEST_F(EncodeWriteTest, EveryTypeGivesTheDeviceEncoding)
{
    const EncodeCase cases[] = {
        {"ushort 1 is a single-register write", mbtUShort, 131, u"1", {0xFE, 0x06, 0x00, 0x83, 0x00, 0x01}},
        {"ushort keeps the low 16 bits", mbtUShort, 100, u"65537", {0xFE, 0x06, 0x00, 0x64, 0x00, 0x01}},
        {"bool true", mbtBool, 2012, u"true", {0xFE, 0x06, 0x07, 0xDC, 0xFF, 0x00}},
        {"bool false", mbtBool, 2012, u"false", {0xFE, 0x06, 0x07, 0xDC, 0x00, 0x00}},
        {"bool 0", mbtBool, 2012, u"0", {0xFE, 0x06, 0x07, 0xDC, 0x00, 0x00}},
        {"bool False is not false", mbtBool, 2012, u"False", {0xFE, 0x06, 0x07, 0xDC, 0xFF, 0x00}},
        {"negative short", mbtShort, 6000, u"-2", {0xFE, 0x06, 0x17, 0x70, 0xFF, 0xFE}},
        {"unsigned int above 2^31, low register first",
         mbtUInt,
         3000,
         u"2147483649",
         {0xFE, 0x10, 0x0B, 0xB8, 0x00, 0x02, 0x04, 0x00, 0x01, 0x80, 0x00}},
        {"negative int", mbtInt, 3000, u"-5", {0xFE, 0x10, 0x0B, 0xB8, 0x00, 0x02, 0x04, 0xFF, 0xFB, 0xFF, 0xFF}},
        {"float with a decimal comma, low half first",
         mbtFloat,
         2002,
         u"14,4",
         {0xFE, 0x10, 0x07, 0xD2, 0x00, 0x02, 0x04, 0x66, 0x66, 0x41, 0x66}},
        {"float with a decimal point",
         mbtFloat,
         2002,
         u"14.4",
         {0xFE, 0x10, 0x07, 0xD2, 0x00, 0x02, 0x04, 0x66, 0x66, 0x41, 0x66}},
        {"int64 over four registers",
         mbtInt64,
         7000,
         u"-2",
         {0xFE, 0x10, 0x1B, 0x58, 0x00, 0x04, 0x08, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"double over four registers",
         mbtDouble,
         7000,
         u"1.5",
         {0xFE, 0x10, 0x1B, 0x58, 0x00, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3F, 0xF8}},
        {"ASCII ABC, first character in the low byte",
         mbtAscii,
         110,
         u"ABC",
         {0xFE, 0x10, 0x00, 0x6E, 0x00, 0x03, 0x06, 0x42, 0x41, 0x00, 0x43, 0x00, 0x00}},
        {"ASCII Cyrillic goes out in the ANSI code page",
         mbtAscii,
         110,
         u"\u0410\u044f",
         {0xFE, 0x10, 0x00, 0x6E, 0x00, 0x02, 0x04, 0xFF, 0xC0, 0x00, 0x00}},
        {"two hex pairs are one register", mbtBinary, 200, u"0A 1F", {0xFE, 0x06, 0x00, 0xC8, 0x1F, 0x0A}},
        {"lower-case hex digits are skipped", mbtBinary, 200, u"0a 1F 3", {0xFE, 0x06, 0x00, 0xC8, 0xF3, 0x01}},
        {"three hex pairs pad the last register",
         mbtBinary,
         200,
         u"01 02 03",
         {0xFE, 0x10, 0x00, 0xC8, 0x00, 0x02, 0x04, 0x02, 0x01, 0x00, 0x03}},
    };
    for (const EncodeCase &c : cases) {
        SCOPED_TRACE(c.label);
        ModbusAction *v = Variable(c.type, c.reg, c.text);
        ASSERT_TRUE(shell.EncodeWrite(v));
        EXPECT_EQ(BuiltFrame(shell), c.frame);
        EXPECT_FALSE(v->WritePending);
        EXPECT_EQ(v->State, mbsRequested);
        EXPECT_EQ(testutil::U16(v->Value), std::u16string(c.text));  // the written text stays
        EXPECT_EQ(shell.Engine.PendingCount(), 1);
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(EncodeWriteTest, ACompleteNumberGoesOutAsTheNearestFloatOrDouble)
{
    // Texts on which summing digit weights misses the nearest value by a unit: halfway
    // between two floats to 17 digits, and doubles of long mantissas.
    const struct {
        uint32_t Type;
        const char *Text;
    } cases[] = {
        {mbtFloat, "6.1351882720499808e-35"},   {mbtFloat, "2.4350581718054043e+28"},
        {mbtFloat, "1.9301190765949864e+28"},   {mbtFloat, "1.2345678"},
        {mbtDouble, "2.631750030855515e+248"},  {mbtDouble, "6.689921856898562e-217"},
        {mbtDouble, "-5.409760742964738e+124"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Text);
        const std::string text = c.Text;
        uint64_t bits = 0;
        if (c.Type == mbtFloat) {
            float f = 0;
            ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), f).ec, std::errc());
            bits = std::bit_cast<uint32_t>(f);
        } else {
            double d = 0;
            ASSERT_EQ(std::from_chars(text.data(), text.data() + text.size(), d).ec, std::errc());
            bits = std::bit_cast<uint64_t>(d);
        }
        ModbusAction *v = shell.NewVariable();
        v->Type = c.Type;
        v->RegAddress = 2002;
        v->Value = MString::FromUtf8(text);
        ASSERT_TRUE(shell.EncodeWrite(v));
        // Registers low first, each on the wire high byte first.
        const std::vector<uint8_t> frame = BuiltFrame(shell);
        const size_t words = c.Type == mbtFloat ? 2 : 4;
        ASSERT_EQ(frame.size(), 7 + 2 * words);
        uint64_t sent = 0;
        for (size_t w = 0; w < words; ++w)
            sent |= static_cast<uint64_t>((frame[7 + 2 * w] << 8) | frame[8 + 2 * w]) << (16 * w);
        EXPECT_EQ(sent, bits);
        shell.Engine.Reset();
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(EncodeWriteTest, TextsThatDoNotFitOrOverflowAreRefusedWithTheMessage)
{
    const std::u16string ascii62(62, u'x');
    const std::u16string ascii63(63, u'x');
    std::u16string pairs64, pairs65;
    for (int i = 0; i < 64; ++i)
        pairs64 += u"AB ";
    pairs65 = pairs64 + u"CD";
    struct Case {
        const char *label;
        uint32_t type;
        std::u16string text;
        bool accepted;
    } cases[] = {
        {"62 ASCII characters fill the buffer", mbtAscii, ascii62, true},
        {"63 ASCII characters do not fit", mbtAscii, ascii63, false},
        {"64 hex pairs fill the buffer", mbtBinary, pairs64, true},
        {"65 hex pairs do not fit", mbtBinary, pairs65, false},
        {"largest float", mbtFloat, u"3.4e38", true},
        {"float overflow", mbtFloat, u"1e39", false},
        {"negative float overflow", mbtFloat, u"-1e39", false},
        {"double overflow", mbtDouble, u"1e400", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        messages.texts.clear();
        ModbusAction *v = Variable(c.type, 110, c.text.c_str());
        const bool built = shell.EncodeWrite(v);
        EXPECT_EQ(built, c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(messages.texts.empty());
            EXPECT_EQ(shell.Engine.PendingCount(), 1);
            continue;
        }
        ASSERT_EQ(messages.texts.size(), 1u);
        EXPECT_EQ(messages.texts[0], u"Input data or format is incorrect. Sorry, I can't understand them.");
        EXPECT_EQ(v->State, mbsDone);
        EXPECT_TRUE(v->WritePending);  // asked for again, the write repeats the message
        EXPECT_EQ(testutil::U16(v->Value), c.text);
        EXPECT_EQ(shell.Engine.PendingCount(), 0);
        EXPECT_EQ(shell.Engine.TxLength(), 0);
    }
}

TEST_F(EncodeWriteTest, UnknownTypeBuildsNothingAndFallsBackToARead)
{
    ModbusAction *v = Variable(42, 100, u"7");
    EXPECT_FALSE(shell.EncodeWrite(v));
    EXPECT_FALSE(v->WritePending);
    EXPECT_EQ(v->State, mbsRequested);
    EXPECT_EQ(shell.Engine.PendingCount(), 0);
    EXPECT_TRUE(messages.texts.empty());
}

}  // namespace
