// Numbers as value texts: formatting in the user's locale and the lenient/strict parsers.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "values/MString.h"

namespace {

// Switches the process locale for one test and restores it afterwards.
class LocaleGuard {
public:
    explicit LocaleGuard(const char *name)
    {
        // Let the string's own once-only locale switch happen first, so it cannot
        // override the locale chosen here.
        MString warmUp;
        const char *current = std::setlocale(LC_ALL, nullptr);
        saved_ = current != nullptr ? current : "C";
        ok_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }
    LocaleGuard(const LocaleGuard &) = delete;
    LocaleGuard &operator=(const LocaleGuard &) = delete;
    bool ok() const { return ok_; }

private:
    std::string saved_;
    bool ok_ = false;
};

// A missing comma locale is a broken machine, not a reason to skip.
#define REQUIRE_LOCALE(guard)                                                                                          \
    ASSERT_TRUE((guard).ok()) << "locale ru_RU.UTF-8 is missing; scripts/deps generates "                              \
                                 "it (locale-gen ru_RU.UTF-8)"

std::u16string Text(const MString &s)
{
    return std::u16string(s.View());
}

struct RealCase {
    double value;
    const char16_t *comma;  // with the comma separator; the C locale writes '.'
};

const RealCase kRealCases[] = {
    {12.5, u"12,5"},
    {100, u"100"},
    {0, u"0"},
    {-0.0, u"0"},
    {-3.75, u"-3,75"},
    {1.0 / 3, u"0,33333"},
    {2.0 / 3, u"0,66666"},
    {0.0001, u"0,0001"},
    {0.000123456, u"0,00012"},
    {0.00001, u"1e-05"},
    {9999999999.0, u"9999999999"},
    {12345678901.0, u"1,23456789e+10"},
    {1.9999999999, u"2"},
    {0.999999, u"0,99999"},
    {1.5e-7, u"1,5e-07"},
    {-1.5e-7, u"-1,5e-07"},
    {1e100, u"1e+100"},
    {123456.789, u"123456,789"},
    {std::numeric_limits<double>::infinity(), u"+INF"},
    {-std::numeric_limits<double>::infinity(), u"-INF"},
    {std::numeric_limits<double>::quiet_NaN(), u"+NAN"},
    {-std::numeric_limits<double>::quiet_NaN(), u"-NAN"},
};

std::u16string WithPoint(std::u16string s)
{
    for (char16_t &u : s)
        if (u == u',')
            u = u'.';
    return s;
}

}  // namespace

TEST(MStringFromReal, CommaLocaleTable)
{
    LocaleGuard locale("ru_RU.UTF-8");
    REQUIRE_LOCALE(locale);
    for (const RealCase &c : kRealCases) {
        EXPECT_EQ(Text(MString::FromReal(c.value, 10, 5)), c.comma) << "value " << c.value;
    }
}

TEST(MStringFromReal, ClassicLocaleWritesPoint)
{
    LocaleGuard locale("C");
    ASSERT_TRUE(locale.ok());
    for (const RealCase &c : kRealCases) {
        EXPECT_EQ(Text(MString::FromReal(c.value, 10, 5)), WithPoint(c.comma)) << "value " << c.value;
    }
}

TEST(MStringFromReal, DigitsAreCappedAndOtherArgumentsHonoured)
{
    LocaleGuard locale("C");
    // 35 significant digits at most, whatever is asked for.
    EXPECT_EQ(Text(MString::FromReal(1.0 / 3, 50, 50)), u"0.33333333333333331482961625624739099");
    EXPECT_EQ(Text(MString::FromReal(3.14159, 3, 5)), u"3.14");
    EXPECT_EQ(Text(MString::FromReal(3.14159, 10, 2)), u"3.14");
    EXPECT_EQ(Text(MString::FromReal(31415.9, 3, 5)), u"3.14e+04");
}

TEST(MStringFromReal, MatchesPrintfGeneralConversionBeforeTheCut)
{
    // With room for every decimal the text is exactly printf's %.*g in the C locale.
    LocaleGuard locale("C");
    std::uint64_t seed = 12345;
    for (int i = 0; i < 2000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const double mantissa = static_cast<double>(seed >> 11) / static_cast<double>(1ULL << 53);
        const int exponent = static_cast<int>((seed >> 3) % 41) - 20;
        const double value = (seed & 1 ? -1 : 1) * mantissa * std::pow(10.0, exponent);
        const unsigned digits = 1 + static_cast<unsigned>(seed >> 58) % 17;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.*g", static_cast<int>(digits), value);
        EXPECT_EQ(MString::FromReal(value, digits, 40).ToUtf8(), expected) << value << " / " << digits;
    }
}

TEST(MStringFromInt, DecimalText)
{
    EXPECT_EQ(Text(MString::FromInt(0)), u"0");
    EXPECT_EQ(Text(MString::FromInt(-42)), u"-42");
    EXPECT_EQ(Text(MString::FromInt(1234567)), u"1234567");
    EXPECT_EQ(Text(MString::FromInt(INT64_MIN)), u"-9223372036854775808");
    MString s(u"old");
    s.Assign(-7);
    EXPECT_EQ(Text(s), u"-7");
}

TEST(MStringToInt, LenientTable)
{
    const struct {
        const char16_t *text;
        std::int64_t value;
    } cases[] = {
        {u"", 0},
        {u" 42 ", 42},
        {u"- 7", -7},
        {u"--7", 0},
        {u"abc12def", 12},
        {u"0x1F", 31},
        {u"-0x10", -16},
        {u"1.9", 1},
        {u"0x", 0},
        {u"abc", 0},
        {u"+\t5", 5},
        {u"0XfF", 255},
        {u"-", 0},
        {u"x-y3", 0},
        {u"007", 7},
        {u"9223372036854775807", INT64_MAX},
        // Wrapping arithmetic, not a trap: one past the maximum wraps to the minimum.
        {u"9223372036854775808", INT64_MIN},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MString(c.text).ToInt(), c.value) << MString(c.text).ToUtf8();
    }
}

TEST(MStringToReal, LenientTable)
{
    const struct {
        const char16_t *text;
        double value;
    } cases[] = {
        {u"", 0},         {u",5", 0.5}, {u".5", 0.5},    {u"-.5", -0.5},  {u"1e3", 1000},      {u"1.", 1},
        {u"abc", 0},      {u"-", 0},    {u"12 345", 12}, {u"0x10", 16},   {u"1,234.5", 1.234}, {u"U=14,2 V", 14.2},
        {u"- 2,5", -2.5}, {u"1e", 1},   {u"+3", 3},      {u"1e-2", 0.01}, {u"-0x10", -16},
    };
    for (const auto &c : cases) {
        EXPECT_DOUBLE_EQ(MString(c.text).ToReal(), c.value) << MString(c.text).ToUtf8();
    }
    EXPECT_DOUBLE_EQ(MString(u"2.5E-2").ToReal(), 0.025);
}

TEST(MStringToReal, SumsInTheDocumentedOrder)
{
    // 3 x 0.1, not the double nearest to 0.3; written back it still shows as typed.
    const double v = MString(u"0.3").ToReal();
    EXPECT_EQ(v, 3 * 0.1);
    EXPECT_NE(v, 0.3);
    LocaleGuard locale("C");
    for (const char16_t *typed : {u"0.3", u"14.2", u"3.7", u"0.05", u"1234.56789"}) {
        EXPECT_EQ(Text(MString::FromReal(MString(typed).ToReal(), 10, 5)), typed);
    }
}

TEST(MStringToReal, MalformedExponentsDoNotCorruptTheValue)
{
    // A separator or sign inside the exponent ends the number rather than being folded
    // into the digits (which gave infinities).
    EXPECT_DOUBLE_EQ(MString(u"1e5.3").ToReal(), 1e5);
    EXPECT_DOUBLE_EQ(MString(u"2e1-3").ToReal(), 20);
    // Very long digit runs overflow to infinity, never to NaN (0 x inf).
    EXPECT_DOUBLE_EQ(
        MString(MString::Concat(MString::Concat(u"1e", MString::FromUtf8(std::string(400, '0'))), u"1")).ToReal(), 10);
    const double huge = MString::FromUtf8("1" + std::string(400, '0')).ToReal();
    EXPECT_TRUE(std::isinf(huge)) << huge;
    // Zero with an exponent beyond the double range is zero, not 0 x inf.
    for (const char16_t *zero : {u"0e999", u"-0e400", u"0,0e500", u"0E+309"}) {
        const double v = MString(zero).ToReal();
        EXPECT_EQ(v, 0.0) << MString(zero).ToUtf8() << " gave " << v;
    }
    // A value in range stays finite when its exponent alone is out of range.
    EXPECT_NEAR(MString(u"0,001e310").ToReal() / 1e307, 1.0, 1e-12);
    EXPECT_NEAR(MString(u"12345e-320").ToReal() / 1.2345e-316, 1.0, 1e-6);
    EXPECT_TRUE(std::isinf(MString(u"1e400").ToReal()));
    EXPECT_EQ(MString(u"1e-400").ToReal(), 0.0);
    // An exponent too long for a double is infinite: the value overflows or vanishes.
    EXPECT_TRUE(std::isinf(MString::FromUtf8("1e1" + std::string(400, '0')).ToReal()));
    EXPECT_EQ(MString::FromUtf8("1e-1" + std::string(400, '0')).ToReal(), 0.0);
    const double tiny = MString::FromUtf8("0." + std::string(400, '0') + "1").ToReal();
    EXPECT_FALSE(std::isnan(tiny));
    EXPECT_GE(tiny, 0.0);
}

TEST(MStringIsNumber, StrictTable)
{
    for (const char16_t *yes : {u"1,5", u".5", u"-1e-3", u"1e", u" 1,5 ", u"\t12\t", u"+7", u"1E+5", u"0"}) {
        EXPECT_TRUE(MString(yes).IsNumber()) << MString(yes).ToUtf8();
    }
    for (const char16_t *no : {u"", u" ", u".", u"-", u"e5", u"1.2.3", u"+-1", u"1 2", u"1e5.3", u"1e2e3", u"5-",
                               u"1e5-3", u"0x10", u"1,5V"}) {
        EXPECT_FALSE(MString(no).IsNumber()) << MString(no).ToUtf8();
    }
}

TEST(MStringIsInteger, StrictTable)
{
    for (const char16_t *yes : {u"0x1F", u"-5", u" 7 ", u"0X1a", u"+0", u"123"}) {
        EXPECT_TRUE(MString(yes).IsInteger(true)) << MString(yes).ToUtf8();
    }
    for (const char16_t *no : {u"", u"  ", u"0xFF", u"5-", u"1.0", u"-", u"1 2", u"0x", u"12a"}) {
        EXPECT_FALSE(MString(no).IsInteger(true)) << MString(no).ToUtf8();
    }
    // Without hexadecimal the prefix and letters are plain invalid units.
    EXPECT_FALSE(MString(u"0x1F").IsInteger(false));
    EXPECT_FALSE(MString(u"1F").IsInteger(false));
    EXPECT_TRUE(MString(u" -15\t").IsInteger(false));
}

TEST(MStringToLower, FollowsTheUserLocaleForCyrillic)
{
    LocaleGuard locale("ru_RU.UTF-8");
    REQUIRE_LOCALE(locale);
    MString s(u"ПРИВЕТ Ёж QW-1");
    s.ToLower();
    EXPECT_EQ(Text(s), u"привет ёж qw-1");
    // Case-insensitive field extraction keeps the field's own case.
    EXPECT_EQ(Text(MString(u"ТИП: Заряд").Between(0, false, MString(u"тип: "), MString())), u"Заряд");
}
