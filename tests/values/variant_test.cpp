// Compact integers, variants (typing, conversions, comparison, records) and key/value trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "values/MCompactInt.h"
#include "values/MStream.h"
#include "values/MVarArray.h"
#include "values/MVariant.h"

#include "ByteBuilder.h"

namespace {

const Bytes kEmpty = Le32(0);

template <class T> Bytes Record(const T &value)
{
    MStream s;
    EXPECT_TRUE(value.WriteTo(s));
    return Contents(s);
}

MVariant Typed(const char16_t *text)
{
    MVariant v;
    v.Assign(MVariant(MString(text)));
    return v;
}

std::u16string Str(const MString &s)
{
    return std::u16string(s.View());
}

}  // namespace

TEST(MCompactInt, RecordBytes)
{
    const std::pair<std::int64_t, Bytes> cases[] = {
        {0, {0x00}},
        {1, {0x01}},
        {-1, {0x05}},
        {3, {0x03}},
        {4, {0x08, 0x01}},
        {4660, {0x10, 0x8D, 0x04}},
        {-4660, {0x14, 0x8D, 0x04}},
    };
    for (const auto &[value, bytes] : cases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(Record(MCompactInt(value)), bytes);
    }
}

TEST(MCompactInt, RoundTripsIncludingTheExtremes)
{
    const std::int64_t values[] = {0, 1, -1, 255, 256, -4660, INT32_MIN, INT32_MAX, INT64_MIN, INT64_MAX};
    for (std::int64_t value : values) {
        SCOPED_TRACE(value);
        const MCompactInt original(value);
        MStream s;
        ASSERT_TRUE(original.WriteTo(s));
        ASSERT_EQ(s.Seek(0), 0);
        MCompactInt back(std::int64_t{12345});
        ASSERT_TRUE(back.ReadFrom(s));
        EXPECT_TRUE(back.Equals(original));
        EXPECT_EQ(back.ToInt64(), value);
        EXPECT_EQ(back.IsNegative(), value < 0);
    }
    EXPECT_EQ(MCompactInt(INT32_MIN).ToInt32(), INT32_MIN);
    EXPECT_EQ(MCompactInt(std::int64_t{1} << 40).ToInt32(), INT32_MAX);  // more than 4 bytes saturates
}

TEST(MCompactInt, ReadingNormalisesHandMadeRecords)
{
    struct Case {
        const char *what;
        Bytes record;
        bool ok;
        std::int64_t value;
        bool negative;
    };
    const Case cases[] = {
        {"negative zero", {0x04}, true, 0, false},
        {"zero body bytes at the top", {0x11, 0x00, 0x00}, true, 1, false},
        {"body cut short", {0x18, 0x01}, false, 0, false},
        {"no header", {}, false, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MStream s;
        if (!c.record.empty())
            Fill(s, c.record);
        MCompactInt v;
        EXPECT_EQ(v.ReadFrom(s), c.ok);
        if (c.ok) {
            EXPECT_EQ(v.ToInt64(), c.value);
            EXPECT_EQ(v.IsNegative(), c.negative);
            EXPECT_TRUE(v.Equals(MCompactInt(c.value)));
        }
    }
}

TEST(MCompactInt, TextAndOrder)
{
    EXPECT_EQ(Str(MCompactInt(4660).ToText()), u"0x3412");
    EXPECT_EQ(Str(MCompactInt(0).ToText()), u"0x0");
    EXPECT_EQ(Str(MCompactInt(-10).ToText()), u"-0x0A");
    const std::int64_t ascending[] = {INT64_MIN, -70000, -256, -1, 0, 1, 255, 256, 70000, INT64_MAX};
    for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
        const MCompactInt a(ascending[i]), b(ascending[i + 1]);
        EXPECT_TRUE(a.Less(b)) << ascending[i];
        EXPECT_TRUE(b.Greater(a)) << ascending[i];
        EXPECT_FALSE(b.Less(a)) << ascending[i];
        EXPECT_FALSE(a.Equals(b)) << ascending[i];
    }
}

TEST(MVariant, AssignTypesTextsAndRealsByContent)
{
    struct Case {
        MVariant source;
        std::uint32_t tag;
        double value;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {MVariant(MString(u"12,5")), MVariant::Real, 12.5},
        {MVariant(MString(u"42")), MVariant::Int, 42},
        {MVariant(MString(u"0x1F")), MVariant::Int, 31},
        {MVariant(MString(u" 7 ")), MVariant::Int, 7},
        {MVariant(MString(u"2147483647")), MVariant::Int, 2147483647.0},
        {MVariant(MString(u"-2147483648")), MVariant::Int, -2147483648.0},
        {MVariant(MString(u"3000000000")), MVariant::Real, 3000000000.0},
        {MVariant(MString(u"1e5")), MVariant::Real, 100000},
        {MVariant(MString(u"5.0")), MVariant::Real, 5},  // a text is typed once, not narrowed again
        {MVariant(MString(u"18446744073709551617")), MVariant::Real, 18446744073709551617.0},  // no 64-bit wrap to 1
        {MVariant(MString(u"--")), MVariant::Text, 0},
        {MVariant(MString(u"0x1FFFFFFFF")), MVariant::Text, 0},
        {MVariant(MString()), MVariant::Text, 0},
        {MVariant(5.0), MVariant::Int, 5},
        {MVariant(3.0), MVariant::Int, 3},
        {MVariant(-5.5), MVariant::Real, -5.5},
        {MVariant(3e9), MVariant::Real, 3e9},
        {MVariant(std::int32_t{-9}), MVariant::Int, -9},
        {MVariant(MCompactInt(0x123456)), MVariant::Int, 0x123456},
        {MVariant(MCompactInt(std::int64_t{0x12345678})), MVariant::Real, 0x12345678},
        {MVariant(MCompactInt(INT64_MAX)), MVariant::CompactInt, 9223372036854775807.0},
        {MVariant(), MVariant::Empty, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Str(c.source.ToText()).size() ? std::string(c.source.ToText().ToUtf8()) : std::string("(empty)"));
        MVariant target(MString(u"old"));
        target.Assign(c.source);
        EXPECT_EQ(target.GetTag(), c.tag);
        if (c.tag == MVariant::Int || c.tag == MVariant::Real || c.tag == MVariant::CompactInt) {
            EXPECT_EQ(target.ToReal(), c.value);
        }
        if (c.tag == MVariant::Text) {
            EXPECT_TRUE(target.ToText().Equals(c.source.ToText()));
        }
    }
    MVariant notANumber(nan);
    EXPECT_EQ(notANumber.NaturalType(), MVariant::Real);
    MVariant self(MString(u"12"));
    self.Assign(self);
    EXPECT_EQ(self.GetTag(), MVariant::Text);  // assigning itself changes nothing

    MBlob blob;
    const unsigned char bytes[] = {1, 2};
    ASSERT_TRUE(blob.SetBytes(bytes, 2));
    MVariant b;
    b.Assign(MVariant(blob));
    ASSERT_EQ(b.GetTag(), MVariant::Blob);
    EXPECT_TRUE(b.BlobValue()->Equals(blob));
    EXPECT_NE(b.BlobValue()->Bytes(), blob.Bytes());
}

TEST(MVariant, ConversionsStayDefinedAtTheEdges)
{
    EXPECT_EQ(MVariant(-7.9).ToInt(), -7);
    EXPECT_EQ(MVariant(4294967301.0).ToInt(), 5);  // low 32 bits of the truncation
    EXPECT_EQ(MVariant(std::numeric_limits<double>::quiet_NaN()).ToInt(), 0);
    // Beyond 64 bits the truncation saturates instead of being undefined (UBSan watches).
    EXPECT_EQ(MVariant(1e300).ToCompact().ToInt64(), INT64_MAX);
    EXPECT_EQ(MVariant(-1e300).ToCompact().ToInt64(), INT64_MIN);
    EXPECT_EQ(MVariant(1e300).ToInt(), -1);  // the low 32 bits of INT64_MAX
    EXPECT_EQ(MVariant(MString(u"0x100000001")).ToInt(), 1);
    EXPECT_EQ(MVariant(MString(u"-12.75")).ToCompact().ToInt64(), -12);
    EXPECT_EQ(MVariant(MCompactInt(std::int64_t{1} << 40)).ToReal(), 1099511627776.0);

    EXPECT_EQ(Str(MVariant(std::int32_t{-7}).ToText()), u"-7");
    EXPECT_EQ(Str(MVariant(MBlob()).ToText()), u"BLOB");
    EXPECT_EQ(Str(MVariant().ToText()), u"");
    EXPECT_EQ(Str(MVariant(MCompactInt(4660)).ToText()), u"0x3412");
    EXPECT_EQ(MVariant(MBlob()).ToInt(), 0);

    MString probe;  // the first string switches the process locale once; ours must come after
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "ru_RU.UTF-8"), nullptr) << "the ru_RU.UTF-8 locale must be generated";
    const std::u16string commaText = Str(MVariant(0.1).ToText());
    std::setlocale(LC_ALL, "C");
    const std::u16string pointText = Str(MVariant(0.1).ToText());
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(commaText, u"0,1");
    EXPECT_EQ(pointText, u"0.1");
}

TEST(MVariant, ComparesAcrossTypesThroughTheLargerNaturalType)
{
    const MVariant text10(MString(u"10")), int10(std::int32_t{10}), int5(std::int32_t{5}), abc(MString(u"abc"));
    EXPECT_TRUE(text10.Equals(int10));
    EXPECT_TRUE(int10.Equals(text10));
    EXPECT_TRUE(abc.Greater(int5));  // as the texts abc and 5
    EXPECT_TRUE(int5.Less(abc));
    EXPECT_TRUE(MVariant(MString(u"9")).Greater(MVariant(MString(u"10"))));  // same tag: text order
    EXPECT_TRUE(MVariant(2.5).Less(int5));
    EXPECT_TRUE(MVariant(MCompactInt(-3)).Less(MVariant(MCompactInt(2))));
    EXPECT_TRUE(MVariant(MCompactInt(7)).Equals(MVariant(std::int32_t{7})));

    const MVariant nan(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(nan.Equals(nan));
    EXPECT_FALSE(nan.Less(nan));
    EXPECT_FALSE(nan.Greater(MVariant(1.5)));
    EXPECT_TRUE(MVariant().Equals(MVariant()));
    EXPECT_FALSE(MVariant().Less(MVariant()));

    MBlob one, other;
    const unsigned char x[] = {1};
    ASSERT_TRUE(one.SetBytes(x, 1));
    ASSERT_TRUE(other.SetBytes(x, 1));
    const MVariant a(one), b(other), c((MBlob()));
    EXPECT_TRUE(a.Equals(b));
    EXPECT_NE(a.Less(c), c.Less(a));  // unequal blobs: a fixed order, one way round
    EXPECT_FALSE(a.Equals(int5));
}

// Blob keys order by their bytes, never by where they live, so a sorted tree reads back in
// the order it was written.
TEST(MVariant, BlobsOrderByContent)
{
    const auto blob = [](std::initializer_list<unsigned char> bytes) {
        MBlob b;
        const std::vector<unsigned char> v(bytes);
        EXPECT_TRUE(b.SetBytes(v.data(), static_cast<std::int32_t>(v.size())));
        return MVariant(b);
    };
    const MVariant none((MBlob()));
    const MVariant ascending[] = {none, blob({}), blob({2}), blob({1, 0}), blob({1, 1})};
    for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(ascending[i].Less(ascending[i + 1]));
        EXPECT_TRUE(ascending[i + 1].Greater(ascending[i]));
        EXPECT_FALSE(ascending[i + 1].Less(ascending[i]));
    }
    // Against another type the blob is never equal and always on the same side.
    const MVariant text(MString(u"BLOB"));
    EXPECT_FALSE(blob({1}).Equals(text));
    EXPECT_NE(blob({1}).Less(text), text.Less(blob({1})));
    EXPECT_EQ(blob({1}).Less(text), blob({9, 9}).Less(text));
}

TEST(MVariant, RecordsAreTaggedLittleEndian)
{
    const std::pair<MVariant, Bytes> cases[] = {
        {MVariant(), kEmpty},
        {MVariant(std::int32_t{5}), Cat({Le32(1), Le32(5)})},
        {MVariant(std::int32_t{-2}), Cat({Le32(1), Le32(-2)})},
        {MVariant(1.0), Cat({Le32(2), {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}})},
        {MVariant(MString(u"AB")), Cat({Le32(3), TextRecord(u"AB")})},
        {MVariant(MCompactInt(4660)), Cat({Le32(5), {0x10, 0x8D, 0x04}})},
    };
    for (const auto &[variant, bytes] : cases) {
        SCOPED_TRACE(variant.GetTag());
        EXPECT_EQ(Record(variant), bytes);
        MStream s;
        Fill(s, bytes);
        MVariant back(MString(u"old"));
        ASSERT_TRUE(back.ReadFrom(s));
        EXPECT_EQ(back.EffectiveTag(), variant.EffectiveTag());
        EXPECT_TRUE(back.Equals(variant));
        EXPECT_EQ(s.Position(), static_cast<std::int64_t>(bytes.size()));
    }
}

TEST(MVariant, ReadingUnknownTagsAndShortRecords)
{
    struct Case {
        const char *what;
        Bytes bytes;
        bool ok;
    };
    const Case cases[] = {
        {"unknown tag, no payload", Le32(9), true},
        {"tag cut short", {1, 0}, false},
        {"Int cut short", Cat({Le32(1), {5, 0}}), false},
        {"Real cut short", Cat({Le32(2), Bytes(7)}), false},
        {"Text count out of range", Cat({Le32(3), Le32(10000000)}), false},
        {"Blob length out of range", Cat({Le32(4), Le32(-1)}), false},
        {"CompactInt body cut short", Cat({Le32(5), {0x10, 0x8D}}), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MStream s;
        Fill(s, c.bytes);
        MVariant v(std::int32_t{1});
        EXPECT_EQ(v.ReadFrom(s), c.ok);
        EXPECT_FALSE(v.HasPayload());
        EXPECT_EQ(Record(v), kEmpty);  // a variant without payload writes as Empty
    }
}

TEST(MVarArray, FindOrAddKeepsChildrenSortedAndUnique)
{
    const char16_t *orders[][6] = {
        {u"d", u"b", u"f", u"a", u"c", u"e"},
        {u"a", u"b", u"c", u"d", u"e", u"f"},
        {u"f", u"e", u"d", u"c", u"b", u"a"},
        {u"c", u"a", u"e", u"b", u"f", u"d"},
    };
    for (const auto &order : orders) {
        MVarArray root;
        for (const char16_t *key : order)
            root.FindOrAdd(MVariant(MString(key))).Value().Assign(MVariant(MString(key)));
        ASSERT_EQ(root.Count(), 6);
        for (std::int32_t i = 0; i < 6; ++i)
            EXPECT_EQ(Str(root.Child(i).Key().ToText()), std::u16string(1, static_cast<char16_t>(u'a' + i)));
        for (const char16_t *key : order) {
            MVarArray &again = root.FindOrAdd(MVariant(MString(key)));
            EXPECT_TRUE(again.Value().Equals(MVariant(MString(key))));
        }
        EXPECT_EQ(root.Count(), 6);
    }
    MVarArray root;
    MVarArray &first = root.FindOrAdd(Typed(u"5"));
    EXPECT_EQ(&root.FindOrAdd(MVariant(std::int32_t{5})), &first);  // Int 5 equals the key 5
    root.Clear();
    EXPECT_EQ(root.Count(), 0);
}

TEST(MVarArray, ReadSortsChildrenWrittenInAnyOrder)
{
    const Bytes leafC = Cat({Le32(0), Le32(3), TextRecord(u"c"), Le32(1), Le32(3)});
    const Bytes leafA = Cat({Le32(0), Le32(3), TextRecord(u"a"), Le32(1), Le32(1)});
    const Bytes leafB = Cat({Le32(0), Le32(3), TextRecord(u"b"), Le32(1), Le32(2)});
    MStream s;
    Fill(s, Cat({Le32(3), kEmpty, kEmpty, leafC, leafA, leafB}));
    MVarArray root;
    ASSERT_TRUE(root.ReadFrom(s));
    ASSERT_EQ(root.Count(), 3);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Str(root.Child(i).Key().ToText()), std::u16string(1, static_cast<char16_t>(u'a' + i)));
        EXPECT_EQ(root.Child(i).Value().ToInt(), i + 1);
    }
    // Writing gives the sorted order back.
    EXPECT_EQ(Record(root), Cat({Le32(3), kEmpty, kEmpty, leafA, leafB, leafC}));
}

TEST(MVarArray, ChildCountsOutsideTheRangeReadAsNone)
{
    for (std::int32_t count : {200000, 100001, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        // What would have been a child is read on as whatever follows: here nothing.
        MStream s;
        Fill(s, Cat({Le32(count), kEmpty, Cat({Le32(1), Le32(7)}), Le32(0), kEmpty, kEmpty}));
        MVarArray root;
        ASSERT_TRUE(root.ReadFrom(s));
        EXPECT_EQ(root.Count(), 0);
        EXPECT_EQ(root.Value().ToInt(), 7);
        EXPECT_EQ(s.Position(), 16);
    }
}

TEST(MVarArray, KeysWithoutATotalOrderStillSortSafely)
{
    // Not-a-number keys and mixed types answer every question with false or contradict
    // themselves; the sort must stay in its range and keep every child.
    Bytes payload = Cat({Le32(3000), kEmpty, kEmpty});
    const Bytes nanBits = {0, 0, 0, 0, 0, 0, 0xF8, 0x7F};
    for (int i = 0; i < 3000; ++i) {
        Bytes key;
        switch (i % 4) {
        case 0:
            key = Cat({Le32(2), nanBits});
            break;
        case 1:
            key = Cat({Le32(3), TextRecord(i % 8 == 1 ? u"abc" : u"7")});
            break;
        case 2:
            key = Cat({Le32(1), Le32(i)});
            break;
        default:
            key = Cat({Le32(2), {0, 0, 0, 0, 0, 0, 0x1C, 0x40}});
            break;  // 7.0
        }
        const Bytes node = Cat({Le32(0), key, Le32(1), Le32(i)});
        payload.insert(payload.end(), node.begin(), node.end());
    }
    MStream s;
    Fill(s, payload);
    MVarArray root;
    ASSERT_TRUE(root.ReadFrom(s));
    ASSERT_EQ(root.Count(), 3000);
    std::vector<bool> seen(3000);
    for (std::int32_t i = 0; i < root.Count(); ++i)
        seen[static_cast<std::size_t>(root.Child(i).Value().ToInt())] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 3000);
}

TEST(MVarArray, NestingIsBounded)
{
    auto nested = [](int levels) {
        const Bytes parent = Cat({Le32(1), kEmpty, kEmpty});
        Bytes payload;
        for (int i = 0; i < levels; ++i)
            payload.insert(payload.end(), parent.begin(), parent.end());
        return Cat({payload, Le32(0), kEmpty, kEmpty});  // the innermost node
    };
    MStream ok;
    Fill(ok, nested(MVarArray::kMaxDepth));
    MVarArray root;
    EXPECT_TRUE(root.ReadFrom(ok));
    for (int levels : {MVarArray::kMaxDepth + 1, 200000}) {
        SCOPED_TRACE(levels);
        MStream deep;
        Fill(deep, nested(levels));
        MVarArray r;
        EXPECT_FALSE(r.ReadFrom(deep));
    }
}

TEST(MVarArray, NodeCountIsBounded)
{
    // 100000 children of 10 empty children each: 1100001 nodes of 12 bytes apiece, a
    // payload that a 1 MB compressed file can expand to.
    const Bytes leaf = Cat({Le32(0), kEmpty, kEmpty});
    Bytes child = Cat({Le32(10), kEmpty, kEmpty});
    for (int i = 0; i < 10; ++i)
        child.insert(child.end(), leaf.begin(), leaf.end());
    Bytes payload = Cat({Le32(MVarArray::kMaxChildren), kEmpty, kEmpty});
    payload.reserve(payload.size() + child.size() * MVarArray::kMaxChildren);
    for (int i = 0; i < MVarArray::kMaxChildren; ++i)
        payload.insert(payload.end(), child.begin(), child.end());
    MStream s;
    Fill(s, payload);
    MVarArray root;
    EXPECT_FALSE(root.ReadFrom(s));
}

TEST(MVarArray, ShortRecordsFailAndKeepWhatWasRead)
{
    const Bytes child = Cat({Le32(0), Le32(3), TextRecord(u"x"), Le32(1), Le32(1)});
    const Bytes whole = Cat({Le32(2), kEmpty, kEmpty, child, child});
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        MStream s;
        if (cut > 0)
            Fill(s, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        MVarArray root;
        EXPECT_FALSE(root.ReadFrom(s));
        if (cut >= 12 + child.size()) {
            EXPECT_GE(root.Count(), 1);
        }
    }
    // A node that claims the most children a file may have, but holds one.
    MStream s;
    Fill(s, Cat({Le32(MVarArray::kMaxChildren), kEmpty, kEmpty, child}));
    MVarArray root;
    EXPECT_FALSE(root.ReadFrom(s));
    EXPECT_EQ(root.Count(), 2);  // the one read and the one that failed
}
