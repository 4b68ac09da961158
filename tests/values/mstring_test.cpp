// Text operations of MString: construction, comparison, search, extraction, code pages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "values/MString.h"

namespace {
std::u16string Text(const MString &s)
{
    return std::u16string(s.View());
}
}  // namespace

TEST(MString, EmptyAndNullInputs)
{
    const MString empty;
    ASSERT_NE(empty.Chars(), nullptr);
    EXPECT_EQ(empty.Chars()[0], u'\0');
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_STREQ(empty.ToAnsi(0), "");
    EXPECT_TRUE(MString(static_cast<const char16_t *>(nullptr)).IsEmpty());
    EXPECT_TRUE(MString(static_cast<const char *>(nullptr)).IsEmpty());
    EXPECT_TRUE(empty.Equals(MString(u"")));
    EXPECT_TRUE(empty.Equals(static_cast<const char16_t *>(nullptr)));
}

TEST(MString, ZeroUnitEndsTheText)
{
    const char16_t raw[] = {u'a', u'b', 0, u'c', u'd'};
    EXPECT_EQ(MString(raw).Length(), 2u);
    MString s;
    s.AssignUnits(raw, 5);
    EXPECT_EQ(Text(s), u"ab");
    s.AssignUnits(raw + 3, 2);  // no terminator inside the count: exactly count units
    EXPECT_EQ(Text(s), u"cd");
    EXPECT_EQ(Text(MString::FromUtf8(std::string("xy\0z", 4))), u"xy");
}

TEST(MString, AssignAndAppendAliasing)
{
    MString s(u"abc");
    s.Assign(s);
    EXPECT_EQ(Text(s), u"abc");
    s.Assign(s.Chars());
    EXPECT_EQ(Text(s), u"abc");
    s.Assign(s.Chars() + 1);  // a tail of our own buffer
    EXPECT_EQ(Text(s), u"bc");
    s.Append(s);
    EXPECT_EQ(Text(s), u"bcbc");
    s.Append(s.Chars() + 2);
    EXPECT_EQ(Text(s), u"bcbcbc");
    s.Append(u'\0');
    s.Append(static_cast<const char16_t *>(nullptr));
    s.Append(u"");
    s.Append(MString());
    EXPECT_EQ(Text(s), u"bcbcbc");
    s.Append(u'!');
    s.Append("\xC0z");  // ANSI: Cyrillic capital A, then z
    EXPECT_EQ(Text(s), u"bcbcbc!Аz");
}

TEST(MString, Concat)
{
    EXPECT_EQ(Text(MString::Concat(MString(u"ab"), MString(u"cd"))), u"abcd");
    EXPECT_EQ(Text(MString::Concat(MString(u"ab"), static_cast<const char16_t *>(nullptr))), u"ab");
    EXPECT_EQ(Text(MString::Concat(u"x", MString(u"y"))), u"xy");
}

TEST(MString, CompareIsCodeUnitOrder)
{
    const struct {
        const char16_t *a;
        const char16_t *b;
        int sign;
    } cases[] = {
        {u"", u"", 0},       {u"", u"a", -1},   {u"a", u"", 1},   {u"ab", u"abc", -1},  {u"A", u"a", -1},
        {u"abc", u"abc", 0}, {u"b", u"abc", 1}, {u"Я", u"а", -1}, {u"\xFFFF", u"a", 1},  // unsigned units: high units sort last
    };
    for (const auto &c : cases) {
        const int r = MString(c.a).Compare(MString(c.b));
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << MString(c.a).ToUtf8() << " vs " << MString(c.b).ToUtf8();
        EXPECT_EQ(MString(c.a).Less(MString(c.b)), c.sign < 0);
        EXPECT_EQ(MString(c.a).Greater(MString(c.b)), c.sign > 0);
    }
    EXPECT_EQ(MString(u"ab").Compare(MString(u"ad")), u'b' - u'd');
    EXPECT_FALSE(MString(u"a").Equals(MString(u"A")));
}

TEST(MString, FindTable)
{
    const struct {
        const char16_t *text;
        const char16_t *needle;
        unsigned start;
        int pos;
    } cases[] = {
        {u"abc", u"", 0, -1},
        {u"", u"a", 0, -1},
        {u"aaa", u"a", 1, 1},
        {u"abcabc", u"bc", 2, 4},
        {u"abc", u"bc", 2, -1},
        {u"abc", u"c", 3, -1},
        {u"abc", u"abc", 0, 0},
        {u"abc", u"abcd", 0, -1},
        {u"abc", u"a", 0xFFFFFFFFu, -1},  // start + needle length must not wrap round
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MString(c.text).Find(MString(c.needle), c.start), c.pos)
            << MString(c.text).ToUtf8() << " / " << MString(c.needle).ToUtf8() << " from " << c.start;
    }
}

TEST(MString, MidTable)
{
    const MString s(u"abcde");
    EXPECT_EQ(Text(s.Mid(2, 100)), u"cde");
    EXPECT_EQ(Text(s.Mid(5, 1)), u"");
    EXPECT_EQ(Text(s.Mid(1, 0)), u"");
    EXPECT_EQ(Text(s.Mid(1, 2)), u"bc");
    EXPECT_EQ(Text(s.Mid(4, 0xFFFFFFFFu)), u"e");
}

TEST(MString, BetweenTable)
{
    const struct {
        const char16_t *text;
        unsigned start;
        bool caseSensitive;
        const char16_t *from;
        const char16_t *to;
        const char16_t *result;
    } cases[] = {
        {u"Quintavolte 2.05", 0, true, u"Quintavolte ", u"", u"2.05"},
        {u"Other 2.05", 0, true, u"Quintavolte ", u"", u""},
        {u"xABy", 0, false, u"ab", u"", u"y"},
        {u"xABy", 0, true, u"ab", u"", u""},
        {u"id=12;rest", 0, true, u"id=", u";", u"12"},
        {u"id=12", 0, true, u"id=", u";", u"12"},      // no end marker: to the end
        {u"ab=1;ab=2;", 3, true, u"ab=", u";", u"2"},  // the field is cut at start + begin
        {u"..KEY:VaL|x", 2, false, u"key:", u"|", u"VaL"},
        {u"head;tail", 0, true, u"", u";", u"head"},
        {u"abc", 10, true, u"", u"", u""},    // start past the end
        {u";x;", 0, true, u";", u";", u"x"},  // end searched after the field begins
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Text(MString(c.text).Between(c.start, c.caseSensitive, MString(c.from), MString(c.to))), c.result)
            << MString(c.text).ToUtf8() << " from " << c.start;
    }
}

TEST(MString, Cp1251RoundTripsCyrillic)
{
    const MString s(u"Привет, Ёё №€");
    const char *ansi = s.ToAnsi(0);
    EXPECT_STREQ(ansi, "\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xB8 \xB9\x88");
    const MString back(ansi);
    EXPECT_EQ(back.Length(), std::strlen(ansi));
    EXPECT_TRUE(back.Equals(s));
    EXPECT_STREQ(MString(u"АЯая").ToAnsi(1251), "\xC0\xDF\xE0\xFF");
}

TEST(MString, ToAnsiHonoursItsCodePage)
{
    const MString s(u"Яa");
    const struct {
        unsigned codePage;
        const char *expected;
    } cases[] = {
        {0, "\xDF"
            "a"},
        {1251, "\xDF"
               "a"},
        {65001, "\xD0\xAF"
                "a"},
        {1252, ""},
        {437, ""},
        {1200, ""},  // not supported: empty, never 1251 in disguise
    };
    for (const auto &c : cases)
        EXPECT_STREQ(s.ToAnsi(c.codePage), c.expected) << c.codePage;
}

TEST(MString, Cp1251EveryByteMapsBackToItself)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const MString s(all.c_str());
    ASSERT_EQ(s.Length(), 255u);
    EXPECT_EQ(s.Chars()[0xA5 - 1], u'Ґ');
    EXPECT_EQ(s.Chars()[0x98 - 1], u'\x0098');
    EXPECT_EQ(std::string(s.ToAnsi(0)), all);
}

TEST(MString, UnmappableCharactersBecomeQuestionMarks)
{
    EXPECT_STREQ(MString(u"a日b").ToAnsi(0), "a?b");
    EXPECT_STREQ(MString(u"x\U0001F600y").ToAnsi(0), "x?y");  // one character, one '?'
}

TEST(MString, Utf8Conversions)
{
    const MString s(u"Ток, А: 5\U0001F600");
    EXPECT_EQ(s.ToUtf8(), "Ток, А: 5\xF0\x9F\x98\x80");
    EXPECT_STREQ(s.ToAnsi(65001), "Ток, А: 5\xF0\x9F\x98\x80");
    EXPECT_TRUE(MString::FromUtf8(s.ToUtf8()).Equals(s));
    // Broken input gives replacement characters, never a lost neighbour.
    EXPECT_EQ(Text(MString::FromUtf8("a\xD0z\xFF"
                                     "b\xE2\x82")),
              u"a\xFFFDz\xFFFD"
              u"b\xFFFD");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(MString(lone).ToUtf8(), "a\xEF\xBF\xBD"
                                      "b");
}

TEST(MString, AnsiBufferIsRefreshedOnEveryCall)
{
    MString s(u"ab");
    EXPECT_STREQ(s.ToAnsi(0), "ab");
    s.Append(u"cd");
    EXPECT_STREQ(s.ToAnsi(0), "abcd");
    s.Assign(u"");
    EXPECT_STREQ(s.ToAnsi(0), "");
}

TEST(MString, CopiesAreDeep)
{
    MString a(u"abc");
    MString b(a);
    b.Append(u'd');
    MString c;
    c = a;
    c.ToLower();
    a.Assign(u"xyz");
    EXPECT_EQ(Text(b), u"abcd");
    EXPECT_EQ(Text(c), u"abc");
    MString moved(std::move(b));
    EXPECT_EQ(Text(moved), u"abcd");
}
