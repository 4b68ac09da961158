// The one "is this a complete number" reader, under the rules each of its callers reads by:
// the write gate (syntax only, defaults), the value encoder (a '+' before the sign skipped,
// the value to the type), the settings file's compare (the file's own C-locale text: no
// comma, no blanks) and the set-point editor (typed by hand: no exponent).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "values/MString.h"

namespace {

NumberRules Gate()
{
    return {};
}

NumberRules Encoder()
{
    NumberRules r;
    r.PlusBeforeSign = true;
    return r;
}

NumberRules File()
{
    NumberRules r;
    r.Blanks = false;
    r.Comma = false;
    r.PlusBeforeSign = true;
    return r;
}

NumberRules Setpoint()
{
    NumberRules r;
    r.Exponent = false;
    return r;
}

struct Case {
    const char *text;
    bool gate;      // IsCompleteNumber under the gate's rules
    bool encoder;   // ParseCompleteNumber to double under the encoder's rules
    bool file;      // ... under the settings file's rules
    bool setpoint;  // ... under the set-point editor's rules
    double value;   // the value wherever it is taken
};

const Case kCases[] = {
    // Ordinary numbers: every reader agrees.
    {"1", true, true, true, true, 1},
    {"-1", true, true, true, true, -1},
    {"+1", true, true, true, true, 1},
    {"1.5", true, true, true, true, 1.5},
    {".5", true, true, true, true, 0.5},
    {"-.5", true, true, true, true, -0.5},
    {"+.5", true, true, true, true, 0.5},
    {"1.", true, true, true, true, 1},
    {"00012", true, true, true, true, 12},
    {"0.1", true, true, true, true, 0.1},
    // Not numbers to any of them.
    {"", false, false, false, false, 0},
    {".", false, false, false, false, 0},
    {",", false, false, false, false, 0},
    {"-", false, false, false, false, 0},
    {"+", false, false, false, false, 0},
    {"0x10", false, false, false, false, 0},
    {"0X1F", false, false, false, false, 0},
    {"1e", false, false, false, false, 0},
    {"1e+", false, false, false, false, 0},
    {"2.e", false, false, false, false, 0},
    {"e5", false, false, false, false, 0},
    {".e5", false, false, false, false, 0},
    {"-+1", false, false, false, false, 0},
    {"--1", false, false, false, false, 0},
    {"++1", false, false, false, false, 0},
    {"+ 1", false, false, false, false, 0},
    {"- 1", false, false, false, false, 0},
    {"1.5.", false, false, false, false, 0},
    {"1,5,", false, false, false, false, 0},
    {"1.2,3", false, false, false, false, 0},
    {"1,2.3", false, false, false, false, 0},
    {"1..5", false, false, false, false, 0},
    {"inf", false, false, false, false, 0},
    {"-inf", false, false, false, false, 0},
    {"nan", false, false, false, false, 0},
    {"1 000", false, false, false, false, 0},
    {"1e5.5", false, false, false, false, 0},
    {"1.5f", false, false, false, false, 0},
    {"\xd9\xa1", false, false, false, false, 0},  // an Arabic-Indic one
    // A decimal comma: everywhere but in the settings file, which writes a point.
    {"1,5", true, true, false, true, 1.5},
    {"-1,5", true, true, false, true, -1.5},
    {",5", true, true, false, true, 0.5},
    {"1,", true, true, false, true, 1},
    // Blanks around: skipped except in the settings file's values.
    {" 1", true, true, false, true, 1},
    {"1 ", true, true, false, true, 1},
    {"\t1\t", true, true, false, true, 1},
    {"\n1", false, false, false, false, 0},  // the editor trims this itself before asking
    // An exponent: not typed into the set-point editor.
    {"1e5", true, true, true, false, 1e5},
    {"1E5", true, true, true, false, 1e5},
    {"1e+5", true, true, true, false, 1e5},
    {"1e-5", true, true, true, false, 1e-5},
    {"1e05", true, true, true, false, 1e5},
    {"1.e5", true, true, true, false, 1e5},
    {"1,5e3", true, true, false, false, 1500},
    {",5e1", true, true, false, false, 5},
    // A '+' before the sign: the encoder and the settings compare skip it.
    {"+-1", false, true, true, false, -1},
    {"+-.5", false, true, true, false, -0.5},
    // Beyond a double: a well-formed number to the gate (it then refuses it as out of
    // range), no value to the others.
    {"1e400", true, false, false, false, 0},
    {"-1e400", true, false, false, false, 0},
    {"1e-400", true, false, false, false, 0},
};

TEST(CompleteNumber, EachCallersRules)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        const MString wide = MString::FromUtf8(c.text);
        EXPECT_EQ(IsCompleteNumber(std::string_view(c.text), Gate()), c.gate);
        EXPECT_EQ(IsCompleteNumber(wide.View(), Gate()), c.gate);

        const struct {
            const char *who;
            NumberRules rules;
            bool accepted;
        } readers[] = {
            {"encoder", Encoder(), c.encoder}, {"file", File(), c.file}, {"setpoint", Setpoint(), c.setpoint}};
        for (const auto &r : readers) {
            SCOPED_TRACE(r.who);
            double narrow = -123, fromWide = -123;
            EXPECT_EQ(ParseCompleteNumber(std::string_view(c.text), &narrow, r.rules), r.accepted);
            EXPECT_EQ(ParseCompleteNumber(wide.View(), &fromWide, r.rules), r.accepted);
            if (r.accepted) {
                EXPECT_EQ(narrow, c.value);
                EXPECT_EQ(fromWide, c.value);
            } else {
                EXPECT_EQ(narrow, -123) << "a refused text must leave the value alone";
            }
        }
    }
}

// Far longer than any field: digits past a double's precision still round correctly, and
// a value beyond the range or below the smallest subnormal is refused.
TEST(CompleteNumber, LongDigitRuns)
{
    double x = 0;
    EXPECT_FALSE(ParseCompleteNumber("1" + std::string(400, '0'), &x));
    EXPECT_FALSE(ParseCompleteNumber("0." + std::string(400, '0') + "1", &x));
    ASSERT_TRUE(ParseCompleteNumber("0." + std::string(310, '0') + "1", &x));
    EXPECT_EQ(x, 1e-311);
    ASSERT_TRUE(ParseCompleteNumber("0.1000000000000000055511151231257827021181583404541015625", &x));
    EXPECT_EQ(x, 0.1);
}

// The float reading rounds straight to the nearest float (the shortest text of a float
// gives back its bits) and refuses what a float cannot hold.
TEST(CompleteNumber, ToFloat)
{
    float f = 0;
    ASSERT_TRUE(ParseCompleteNumber(std::u16string_view(u"14,4"), &f));
    EXPECT_EQ(f, 14.4f);
    ASSERT_TRUE(ParseCompleteNumber(std::string_view("3.4028235e38"), &f));
    EXPECT_EQ(f, std::numeric_limits<float>::max());
    EXPECT_FALSE(ParseCompleteNumber(std::string_view("3.4028236e38"), &f));  // rounds to inf
    EXPECT_FALSE(ParseCompleteNumber(std::string_view("1e-50"), &f));         // underflows to 0
    ASSERT_TRUE(ParseCompleteNumber(std::string_view("1e-40"), &f));          // a subnormal
    EXPECT_TRUE(std::fpclassify(f) == FP_SUBNORMAL);
    double d = 0;
    EXPECT_TRUE(ParseCompleteNumber(std::string_view("3.4028236e38"), &d));
}

}  // namespace
