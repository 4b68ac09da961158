// Memory stream growth, seek and read limits, the compressed file container, blobs, string
// records and the aligned buffer under the stream.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fcntl.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "values/ArrayT.h"
#include "values/MBlob.h"
#include "values/MStream.h"
#include "values/MString.h"

#include "ByteBuilder.h"

namespace {

// Round trip through an anonymous temporary file.
class TempFile {
public:
    TempFile()
    {
        char name[] = "/tmp/stream_test_XXXXXX";
        fd_ = ::mkstemp(name);
        ::unlink(name);
    }
    ~TempFile() { ::close(fd_); }
    int Fd() const { return fd_; }
    Bytes ReadBack() const
    {
        Bytes out;
        ::lseek(fd_, 0, SEEK_SET);
        unsigned char buf[4096];
        ssize_t n;
        while ((n = ::read(fd_, buf, sizeof buf)) > 0)
            out.insert(out.end(), buf, buf + n);
        ::lseek(fd_, 0, SEEK_SET);
        return out;
    }

private:
    int fd_ = -1;
};

Bytes Repetitive(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<unsigned char>("abcdefgh"[i % 8]);
    return b;
}

}  // namespace

TEST(ArrayT, ResizeKeepsBytesAtAlignmentAndFreesAtZero)
{
    unsigned char *data = nullptr;
    ArrayT<unsigned char, unsigned char *, 1> buffer(data, 8);
    ASSERT_TRUE(buffer.Resize(5));
    ASSERT_NE(data, nullptr);
    for (int i = 0; i < 5; ++i)
        data[i] = static_cast<unsigned char>(i + 1);
    ASSERT_TRUE(buffer.Resize(100000));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 8, 0u);
    EXPECT_EQ(Bytes(data, data + 5), (Bytes{1, 2, 3, 4, 5}));
    ASSERT_TRUE(buffer.Resize(3));
    EXPECT_EQ(Bytes(data, data + 3), (Bytes{1, 2, 3}));
    EXPECT_TRUE(buffer.Resize(0));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(buffer.Count(), 0u);
}

TEST(MStream, GrowsInStepsAlwaysBeyondTheEnd)
{
    const Bytes page(4096, 7);
    MStream big;
    ASSERT_TRUE(big.Write(page.data(), 4096));
    EXPECT_EQ(big.Limit(), 8192);
    EXPECT_EQ(big.Position(), 4096);
    EXPECT_EQ(big.Size(), 4096);

    MStream small;
    ASSERT_TRUE(small.Write(page.data(), 1));
    EXPECT_EQ(small.Limit(), 4096);
    ASSERT_TRUE(small.Write(page.data(), 4094));
    ASSERT_TRUE(small.Write(page.data(), 1));
    EXPECT_EQ(small.Limit(), 4096);  // an end of 4096 fills the buffer exactly
    ASSERT_TRUE(small.Write(page.data(), 1));
    EXPECT_EQ(small.Limit(), 8192);
    EXPECT_FALSE(small.Write(page.data(), -1));
}

TEST(MStream, SeekAndReadStopAtTheLimit)
{
    MStream empty;
    EXPECT_EQ(empty.Seek(0), -1);
    EXPECT_EQ(empty.Position(), 0);

    MStream s;
    const Bytes bytes = Repetitive(10);
    ASSERT_TRUE(s.Write(bytes.data(), 10));
    EXPECT_EQ(s.Seek(s.Limit()), -1);
    EXPECT_EQ(s.Position(), 10);
    EXPECT_EQ(s.Seek(-1), -1);
    EXPECT_EQ(s.Seek(s.Limit() - 4), s.Limit() - 4);
    unsigned char buf[10];
    EXPECT_EQ(s.Read(buf, 10), 4);
    EXPECT_EQ(s.Read(buf, 10), 0);
    EXPECT_EQ(s.Read(buf, -1), -1);

    ASSERT_EQ(s.Seek(0), 0);
    ASSERT_EQ(s.Read(buf, 10), 10);
    EXPECT_EQ(Bytes(buf, buf + 10), bytes);
}

TEST(MStream, WritesFromTwoThreadsDoNotInterleaveWithinARecord)
{
    MStream s;
    auto writer = [&s](std::uint32_t tag) {
        for (std::uint32_t i = 0; i < 2000; ++i) {
            const std::uint32_t record[2] = {tag, i};
            ASSERT_TRUE(s.Write(record, sizeof record));
        }
    };
    std::thread a(writer, 0xA), b(writer, 0xB);
    a.join();
    b.join();
    ASSERT_EQ(s.Size(), 2 * 2000 * 8);
    std::uint32_t next[2] = {0, 0};
    ASSERT_EQ(s.Seek(0), 0);
    for (int r = 0; r < 4000; ++r) {
        std::uint32_t record[2];
        ASSERT_EQ(s.Read(record, sizeof record), 8);
        ASSERT_TRUE(record[0] == 0xA || record[0] == 0xB);
        std::uint32_t &expected = next[record[0] == 0xB];
        ASSERT_EQ(record[1], expected++);
    }
}

TEST(MStream, SaveStoresPlainBelow200BytesAndCompressesFrom200)
{
    struct Case {
        Bytes content;
        bool compressed;
    };
    Bytes random(600);
    std::uint32_t x = 12345;
    for (auto &b : random) {
        x = x * 1103515245u + 12345u;
        b = static_cast<unsigned char>(x >> 24);
    }
    const Case cases[] = {
        {Repetitive(199), false},
        {Repetitive(200), true},
        {Repetitive(50000), true},
        {random, false},  // LZO1X-1 cannot make it shorter: kept plain
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content.size());
        MStream out;
        ASSERT_TRUE(out.Write(c.content.data(), static_cast<std::int32_t>(c.content.size())));
        TempFile file;
        ASSERT_TRUE(out.SaveToFile(file.Fd(), true));
        const Bytes saved = file.ReadBack();
        ASSERT_GE(saved.size(), 4u);
        const auto header = static_cast<std::int32_t>(saved[0] | saved[1] << 8 | saved[2] << 16 | saved[3] << 24);
        EXPECT_EQ(saved.size(), 4u + static_cast<std::size_t>(header < 0 ? -header : header));
        if (c.compressed) {
            EXPECT_LT(header, 0);
            EXPECT_LT(saved.size(), c.content.size());
        } else {
            EXPECT_EQ(saved, Cat({Le32(static_cast<std::int32_t>(c.content.size())), c.content}));
        }

        MStream in;
        ASSERT_TRUE(in.LoadFromFile(file.Fd(), true));
        EXPECT_EQ(in.Position(), 0);
        EXPECT_EQ(in.Size(), static_cast<std::int64_t>(c.content.size()));
        EXPECT_EQ(Contents(in), c.content);
        // Reads end with the payload, not in what the compressed block left behind.
        Bytes all(c.content.size() + 100);
        EXPECT_EQ(in.Read(all.data(), static_cast<std::int32_t>(all.size())),
                  static_cast<std::int32_t>(c.content.size()));
    }
}

TEST(MStream, LoadWithoutDecompressionKeepsTheBlock)
{
    MStream out;
    const Bytes content = Repetitive(1000);
    ASSERT_TRUE(out.Write(content.data(), 1000));
    TempFile file;
    ASSERT_TRUE(out.SaveToFile(file.Fd(), true));
    const Bytes saved = file.ReadBack();
    MStream in;
    ASSERT_TRUE(in.LoadFromFile(file.Fd(), false));
    EXPECT_TRUE(in.IsCompressed());
    EXPECT_EQ(in.Position(), 0);
    // Reading the block through moves the position to its end, where Decompress expects it.
    Bytes block(saved.size());
    ASSERT_EQ(in.Read(block.data(), static_cast<std::int32_t>(block.size())),
              static_cast<std::int32_t>(saved.size() - 4));
    block.resize(saved.size() - 4);
    EXPECT_EQ(block, Bytes(saved.begin() + 4, saved.end()));
    EXPECT_EQ(in.Decompress(), 1000);
    EXPECT_FALSE(in.IsCompressed());
    EXPECT_EQ(Contents(in), content);
}

TEST(MStream, SaveAndLoadRefuseMissingFiles)
{
    MStream s;
    EXPECT_FALSE(s.SaveToFile(-1, true));
    EXPECT_FALSE(s.LoadFromFile(-1, true));
}

TEST(MBlob, RecordsRoundTripAndLengthsAreChecked)
{
    MBlob blob;
    const Bytes bytes = {1, 2, 3, 0, 5};
    ASSERT_TRUE(blob.SetBytes(bytes.data(), 5));
    MStream s;
    ASSERT_TRUE(blob.WriteTo(s));
    EXPECT_EQ(Contents(s), Cat({Le32(5), bytes}));
    ASSERT_EQ(s.Seek(0), 0);
    MBlob back;
    ASSERT_TRUE(back.ReadFrom(s));
    EXPECT_TRUE(back.Equals(blob));
    EXPECT_EQ(Bytes(back.Bytes(), back.Bytes() + back.Used()), bytes);

    struct Case {
        const char *what;
        Bytes record;
        bool ok;
    };
    const Case cases[] = {
        {"m = 0", Le32(0), true},
        {"m = -1", Le32(-1), false},
        {"m beyond the limit", Cat({Le32(1000000001), Bytes(8)}), false},
        {"m more than the stream holds", Cat({Le32(1000000000), Bytes(8)}), false},
        {"m cut short", Cat({Le32(6), bytes}), false},
        {"count cut short", Bytes{5, 0}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MStream in;
        Fill(in, c.record);
        MBlob b;
        EXPECT_EQ(b.ReadFrom(in), c.ok);
    }

    MStream zero;
    Fill(zero, Le32(0));
    MBlob empty;
    ASSERT_TRUE(empty.ReadFrom(zero));
    EXPECT_FALSE(empty.IsEmpty());  // a block, of capacity 0
    EXPECT_EQ(empty.Capacity(), 0);
    EXPECT_EQ(empty.Bytes(), nullptr);
}

TEST(MBlob, CapacityEqualityAndCopies)
{
    MBlob a, b;
    EXPECT_TRUE(a.Equals(b));  // two empty blobs
    EXPECT_FALSE(a.SetCapacity(-1));
    EXPECT_FALSE(a.SetCapacity(MBlob::kMaxCapacity + 1));
    const unsigned char bytes[] = {9, 8, 7, 6};
    ASSERT_TRUE(a.SetBytes(bytes, 4));
    EXPECT_FALSE(a.Equals(b));
    ASSERT_TRUE(b.Assign(a));
    EXPECT_TRUE(a.Equals(b));
    EXPECT_NE(a.Bytes(), b.Bytes());  // copied, never shared
    ASSERT_TRUE(a.SetCapacity(2));
    EXPECT_EQ(a.Used(), 2);
    EXPECT_FALSE(a.Equals(b));
    a.Release();
    EXPECT_TRUE(a.IsEmpty());
}

TEST(MStringRecord, WritesCountThenUtf16WithTerminator)
{
    const std::pair<MString, Bytes> cases[] = {
        {MString(), Le32(0)},
        {MString(u"ab"), Cat({Le32(6), {'a', 0, 'b', 0, 0, 0}})},
        {MString(u"Ж"), Cat({Le32(4), {0x16, 0x04, 0, 0}})},
    };
    for (const auto &[text, record] : cases) {
        MStream s;
        ASSERT_TRUE(text.WriteTo(s));
        EXPECT_EQ(Contents(s), record);
        ASSERT_GE(s.Seek(0), 0);
        MString back(u"old");
        ASSERT_TRUE(back.ReadFrom(s));
        EXPECT_TRUE(back.Equals(text));
    }
}

TEST(MStringRecord, BadRecordsFailAndLeaveAnEmptyString)
{
    struct Case {
        const char *what;
        Bytes record;
        bool ok;
        std::u16string text;
    };
    const Case cases[] = {
        {"no terminator", Cat({Le32(4), {'a', 0, 'b', 0}}), true, u"ab"},
        {"stops at the first 0 unit", Cat({Le32(6), {'a', 0, 0, 0, 'b', 0}}), true, u"a"},
        {"odd count", Cat({Le32(5), {'a', 0, 'b', 0, 'c'}}), true, u"ab"},
        {"count 10000000", Cat({Le32(10000000), Bytes(16)}), false, u""},
        {"negative count", Cat({Le32(-2), Bytes(16)}), false, u""},
        {"in range but beyond the stream", Cat({Le32(9999999), Bytes(16)}), false, u""},
        {"text cut short", Cat({Le32(6), {'a', 0, 'b'}}), false, u""},
        {"count cut short", Bytes{6, 0, 0}, false, u""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        MStream s;
        Fill(s, c.record);
        MString text(u"previous");
        EXPECT_EQ(text.ReadFrom(s), c.ok);
        EXPECT_EQ(std::u16string(text.View()), c.text);
    }
}
