// The debug dump file: its exact bytes, compressed storage, the viewer's lines, and damaged
// or hostile files, which must give only the "damaged" line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "values/DebugDump.h"
#include "values/MStream.h"

#include "ByteBuilder.h"

namespace {

using Entries = std::vector<std::pair<MString, MString>>;

std::uint32_t ByteSum(const Bytes &b, std::size_t from)
{
    std::uint32_t sum = 0;
    for (std::size_t i = from; i < b.size(); ++i)
        sum += b[i];
    return sum;
}

const Bytes kEmptyTag = Le32(0);
const Bytes kExamplePayload = {
    0x01, 0x00, 0x00, 0x00,                                                              // one child
    0x00, 0x00, 0x00, 0x00,                                                              // root key
    0x00, 0x00, 0x00, 0x00,                                                              // root value
    0x00, 0x00, 0x00, 0x00,                                                              // no grandchildren
    0x03, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x41, 0x00, 0x42, 0x00, 0x00, 0x00,  // key AB
    0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,                                      // Int 5
};

Bytes PlainFile(const Bytes &payload)
{
    return Cat({Le32(static_cast<std::int64_t>(payload.size())), payload});
}

std::vector<std::u16string> Texts(const std::vector<MString> &lines)
{
    std::vector<std::u16string> out;
    for (const MString &l : lines)
        out.emplace_back(l.View());
    return out;
}

Entries DeviceLikeEntries()
{
    // 120 variables in table order (not name order), with every kind of value text.
    const char16_t *values[] = {
        u"12,5", u"007", u"0x1F", u"--", u"3000000000", u"-4", u"0", u"13.75", u"Quintavolte 2.05"};
    Entries entries;
    for (int i = 119; i >= 0; --i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s.Var%03d", i % 3 == 0 ? "Reg" : i % 3 == 1 ? "Adc" : "Di1", i);
        entries.emplace_back(MString::FromUtf8(name), MString(values[i % 9]));
    }
    return entries;
}

// Sets the comma locale for the scope of a test and puts the previous one back.
class CommaLocale {
public:
    CommaLocale() : saved_((MString(), std::setlocale(LC_ALL, nullptr)))
    {
        ok_ = std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
    }
    ~CommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    bool Ok() const { return ok_; }

private:
    std::string saved_;
    bool ok_ = false;
};

class DebugDumpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/debugdump_test_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        for (const std::string &f : files_)
            ::unlink(f.c_str());
        ::rmdir(dir_.c_str());
    }
    MString PathOf(const std::string &name)
    {
        files_.push_back(dir_ + "/" + name);
        return MString::FromUtf8(files_.back());
    }
    static void WriteBytes(const MString &path, const Bytes &bytes)
    {
        const int fd = ::open(path.ToUtf8().c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    static Bytes ReadBytes(const MString &path)
    {
        Bytes out;
        const int fd = ::open(path.ToUtf8().c_str(), O_RDONLY);
        if (fd < 0)
            return out;
        unsigned char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            out.insert(out.end(), buf, buf + n);
        ::close(fd);
        return out;
    }
    static std::u16string DamagedLine(const MString &path)
    {
        return u"Файл " + std::u16string(path.View()) + u" поврежден!";
    }

    std::string dir_;
    std::vector<std::string> files_;
};

}  // namespace

TEST_F(DebugDumpTest, OneVariableGivesTheExampleBytes)
{
    MStream payload;
    ASSERT_TRUE(BuildDumpTree({{MString(u"AB"), MString(u"5")}}).WriteTo(payload));
    EXPECT_EQ(Bytes(payload.Data(), payload.Data() + payload.Size()), kExamplePayload);

    const MString path = PathOf("example.debug");
    ASSERT_TRUE(SaveDebugDump(path, {{MString(u"AB"), MString(u"5")}}));
    const Bytes file = ReadBytes(path);
    EXPECT_EQ(file.size(), 42u);
    EXPECT_EQ(file, Cat({{0x26, 0x00, 0x00, 0x00}, kExamplePayload}));
    EXPECT_EQ(Texts(ReadDebugDump(path)), std::vector<std::u16string>{u"AB = 5"});
}

TEST_F(DebugDumpTest, EmptyTableGivesTwelvePlainBytesAndNoLines)
{
    const MString path = PathOf("empty.debug");
    ASSERT_TRUE(SaveDebugDump(path, {}));
    EXPECT_EQ(ReadBytes(path), PlainFile(Cat({Le32(0), kEmptyTag, kEmptyTag})));
    EXPECT_TRUE(ReadDebugDump(path).empty());
}

TEST_F(DebugDumpTest, FullDumpIsStoredCompressedAndReadsBackInNameOrder)
{
    CommaLocale comma;
    ASSERT_TRUE(comma.Ok()) << "the ru_RU.UTF-8 locale must be generated on this machine";
    const Entries entries = DeviceLikeEntries();
    const MString path = PathOf("full.debug");
    ASSERT_TRUE(SaveDebugDump(path, entries));
    const Bytes file = ReadBytes(path);
    ASSERT_GE(file.size(), 12u);
    const auto header = static_cast<std::int32_t>(GetLe32(file, 0));
    ASSERT_LT(header, 0);
    EXPECT_EQ(file.size(), 4u + static_cast<std::size_t>(-header));
    MStream plain;
    ASSERT_TRUE(BuildDumpTree(entries).WriteTo(plain));
    EXPECT_EQ(GetLe32(file, 4), plain.Size());       // S
    EXPECT_EQ(GetLe32(file, 8), ByteSum(file, 12));  // sum
    EXPECT_LT(file.size(), static_cast<std::size_t>(plain.Size()));

    const std::vector<std::u16string> lines = Texts(ReadDebugDump(path));
    ASSERT_EQ(lines.size(), 120u);
    const std::u16string shown[] = {
        u"12,5", u"7", u"31", u"--", u"3000000000", u"-4", u"0", u"13,75", u"Quintavolte 2.05"};
    std::vector<std::u16string> expected;
    for (const auto &[name, value] : entries) {
        const int index = std::atoi(name.ToUtf8().c_str() + 7);
        expected.push_back(std::u16string(name.View()) + u" = " + shown[index % 9]);
    }
    std::sort(expected.begin(), expected.end());  // code-unit order of the names
    EXPECT_EQ(lines, expected);
}

TEST_F(DebugDumpTest, ViewerShowsCodeUnitOrderAndTheViewingLocale)
{
    const Entries entries = {
        {MString(u"b"), MString(u"12,5")}, {MString(u"Ярд"), MString(u"x")}, {MString(u"B"), MString(u"0x1F")},
        {MString(u"a1"), MString(u"007")}, {MString(u"a"), MString(u"--")},  {MString(u"b"), MString(u"2.25")},
        {MString(u"Z"), MString(u"1e5")},
    };
    const MString path = PathOf("order.debug");
    ASSERT_TRUE(SaveDebugDump(path, entries));
    std::vector<std::u16string> commaLines, pointLines;
    {
        CommaLocale comma;
        ASSERT_TRUE(comma.Ok()) << "the ru_RU.UTF-8 locale must be generated on this machine";
        commaLines = Texts(ReadDebugDump(path));
        std::setlocale(LC_ALL, "C");
        pointLines = Texts(ReadDebugDump(path));
    }
    // A name given twice keeps its later value; Cyrillic sorts after Latin by code unit.
    EXPECT_EQ(commaLines,
              (std::vector<std::u16string>{u"B = 31", u"Z = 100000", u"a = --", u"a1 = 7", u"b = 2,25", u"Ярд = x"}));
    EXPECT_EQ(pointLines[4], u"b = 2.25");
}

TEST_F(DebugDumpTest, OtherTagsAndOutOfRangeCountsAreShownNotRejected)
{
    const Bytes intKey = Cat({Le32(1), Le32(9)});
    const Bytes blob = Cat({Le32(4), Le32(2), {1, 2}});
    const Bytes compact = Cat({Le32(5), {0x10, 0x8D, 0x04}});
    const Bytes grandchild = Cat({Le32(0), Cat({Le32(3), Le32(4), {'g', 0, 0, 0}}), kEmptyTag});
    const Bytes payload = Cat({Le32(3),
                               kEmptyTag,
                               kEmptyTag,
                               Cat({Le32(200000), Cat({Le32(3), Le32(4), {'c', 0, 0, 0}}), compact}),
                               Cat({Le32(1), Cat({Le32(3), Le32(4), {'b', 0, 0, 0}}), blob}),
                               grandchild,
                               Cat({Le32(0), intKey, Le32(77)}),  // unknown value tag: no payload
                               {0xDE, 0xAD}});                    // ignored after the root record
    const MString path = PathOf("tags.debug");
    WriteBytes(path, PlainFile(payload));
    EXPECT_EQ(Texts(ReadDebugDump(path)), (std::vector<std::u16string>{u"9 = ", u"b = BLOB", u"c = 0x3412"}));

    // A name stored twice (no writer of ours does that) shows each stored value, not one of
    // them twice.
    const Bytes d = Cat({Le32(3), Le32(4), {'d', 0, 0, 0}});
    WriteBytes(path, PlainFile(Cat({Le32(2), kEmptyTag, kEmptyTag, Cat({Le32(0), d, Le32(1), Le32(1)}),
                                    Cat({Le32(0), d, Le32(1), Le32(2)})})));
    EXPECT_EQ(Texts(ReadDebugDump(path)), (std::vector<std::u16string>{u"d = 1", u"d = 2"}));
}

TEST_F(DebugDumpTest, DamagedFilesGiveOnlyTheDamagedLine)
{
    const MString source = PathOf("valid.debug");
    ASSERT_TRUE(SaveDebugDump(source, DeviceLikeEntries()));
    const Bytes compressed = ReadBytes(source);
    ASSERT_LT(static_cast<std::int32_t>(GetLe32(compressed, 0)), 0);
    const std::uint32_t payloadLength = GetLe32(compressed, 4);
    const std::size_t dataLength = compressed.size() - 12;

    // A compressed file with S and the sum changed, the sum kept matching the data.
    auto withS = [&](std::uint32_t s) {
        Bytes f = compressed;
        PutLe32(f, 4, s);
        return f;
    };
    auto withBody = [](const Bytes &body) { return Cat({Le32(-static_cast<std::int64_t>(body.size())), body}); };
    auto withData = [&](const Bytes &data, std::uint32_t s) {
        Bytes body = Cat({Le32(s), Le32(0), data});
        PutLe32(body, 4, ByteSum(body, 8));
        return withBody(body);
    };
    Bytes oneByteChanged = compressed;
    oneByteChanged[12 + dataLength / 2] ^= 0x10;
    Bytes sumOff = compressed;
    PutLe32(sumOff, 8, GetLe32(compressed, 8) + 1);
    Bytes truncatedCompressed(compressed.begin(), compressed.end() - 1);
    PutLe32(truncatedCompressed, 0,
            static_cast<std::uint32_t>(-static_cast<std::int32_t>(truncatedCompressed.size() - 4)));
    PutLe32(truncatedCompressed, 8, ByteSum(truncatedCompressed, 12));

    const Bytes key = Cat({Le32(3), Le32(4), {'k', 0, 0, 0}});
    auto oneChild = [&](const Bytes &child) { return PlainFile(Cat({Le32(1), kEmptyTag, kEmptyTag, child})); };
    auto nested = [](int levels) {
        const Bytes parent = Cat({Le32(1), Le32(0), Le32(0)});
        Bytes payload;
        for (int i = 0; i < levels; ++i)
            payload.insert(payload.end(), parent.begin(), parent.end());
        return PlainFile(Cat({payload, Le32(0), Le32(0), Le32(0)}));
    };

    struct Case {
        const char *what;
        Bytes file;
    };
    const Case cases[] = {
        {"empty file", {}},
        {"short header", {0x26, 0x00, 0x00}},
        {"header announces more than the file", Cat({Le32(39), kExamplePayload})},
        {"header announces 2 GB", Cat({Le32(2147483647), kExamplePayload})},
        {"most negative header", Cat({Le32(INT32_MIN), Bytes(64)})},
        {"empty payload", Le32(0)},
        {"compressed body under 8 bytes", withBody({1, 0, 0, 0, 0, 0, 0})},
        {"compressed body of only S and sum", withBody(Cat({Le32(1), Le32(0)}))},
        {"wrong sum", sumOff},
        {"S = 0", withS(0)},
        {"S > 2000000000", withS(2000000001)},
        {"S = 0xFFFFFFFF", withS(0xFFFFFFFF)},
        {"S beyond what the data can expand to", withS(static_cast<std::uint32_t>(dataLength * 256 + 1024))},
        {"decompresses to S - 1", withS(payloadLength + 1)},
        {"decompresses to more than S", withS(payloadLength - 1)},
        {"one byte of compressed data changed", oneByteChanged},
        {"compressed data cut short", truncatedCompressed},
        {"data that is not LZO1X", withData(Bytes(64, 0xEE), 1000)},
        {"string count out of range", oneChild(Cat({Le32(0), Le32(3), Le32(10000000), Bytes(32)}))},
        {"negative string count", oneChild(Cat({Le32(0), Le32(3), Le32(-2), Bytes(32)}))},
        {"string count beyond the file", oneChild(Cat({Le32(0), Le32(3), Le32(9999998), Bytes(32)}))},
        {"blob length out of range", oneChild(Cat({Le32(0), key, Le32(4), Le32(1000000001), Bytes(32)}))},
        {"negative blob length", oneChild(Cat({Le32(0), key, Le32(4), Le32(-1)}))},
        {"blob length beyond the file", oneChild(Cat({Le32(0), key, Le32(4), Le32(1000000000), Bytes(32)}))},
        {"compact integer cut short", oneChild(Cat({Le32(0), key, Le32(5), {0xF8, 1, 2}}))},
        {"too deep nesting", nested(65)},
        {"very deep nesting", nested(300000)},
        {"huge child count, one child present", PlainFile(Cat({Le32(100000), kEmptyTag, kEmptyTag, Le32(0), key, kEmptyTag}))},
        {"huge child counts at every level", [] {
             const Bytes parent = Cat({Le32(100000), Le32(0), Le32(0)});
             Bytes payload;
             for (int i = 0; i < 60; ++i)
                 payload.insert(payload.end(), parent.begin(), parent.end());
             return PlainFile(payload);
         }()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const MString path = PathOf("damaged.debug");
        WriteBytes(path, c.file);
        EXPECT_EQ(Texts(ReadDebugDump(path)), std::vector<std::u16string>{DamagedLine(path)});
    }
    for (std::size_t cut = 0; cut < kExamplePayload.size(); ++cut) {
        SCOPED_TRACE("payload cut at " + std::to_string(cut));
        const MString path = PathOf("cut.debug");
        WriteBytes(path, PlainFile(Bytes(kExamplePayload.begin(),
                                         kExamplePayload.begin() + static_cast<std::ptrdiff_t>(cut))));
        EXPECT_EQ(Texts(ReadDebugDump(path)), std::vector<std::u16string>{DamagedLine(path)});
    }
    const MString missing = PathOf("missing.debug");
    EXPECT_EQ(Texts(ReadDebugDump(missing)), std::vector<std::u16string>{DamagedLine(missing)});
    // The untouched file still reads.
    EXPECT_EQ(ReadDebugDump(source).size(), 120u);
}

TEST_F(DebugDumpTest, AValueTooLongToReadBackIsRefusedAndKeepsTheOldFile)
{
    const MString path = PathOf("keep.debug");
    ASSERT_TRUE(SaveDebugDump(path, {{MString(u"AB"), MString(u"5")}}));
    const Bytes before = ReadBytes(path);
    // A string record holds at most 9999999 bytes: 4999998 units and the terminator.
    const MString longest(std::u16string(4999998, u'x').c_str());
    const MString tooLong(std::u16string(4999999, u'x').c_str());
    EXPECT_FALSE(SaveDebugDump(path, {{MString(u"AB"), tooLong}}));
    EXPECT_EQ(ReadBytes(path), before);
    ASSERT_TRUE(SaveDebugDump(path, {{MString(u"AB"), longest}}));
    const std::vector<MString> lines = ReadDebugDump(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Length(), 5u + 4999998u);
}

TEST_F(DebugDumpTest, SavingToAnUnwritablePathFailsAndCreatesNothing)
{
    const MString path = MString::FromUtf8(dir_ + "/no/such/dir/x.debug");
    EXPECT_FALSE(SaveDebugDump(path, {{MString(u"AB"), MString(u"5")}}));
    EXPECT_NE(::access((dir_ + "/no").c_str(), F_OK), 0);
}

namespace {

std::vector<std::string> FolderNames(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(DebugDumpTest, ASaveThatFailsLeavesTheOldFileWholeAndNoPartialFile)
{
    const std::string target = dir_ + "/kept.debug";
    std::string error;
    ASSERT_TRUE(SaveDebugDumpAt(target, {{MString(u"AB"), MString(u"5")}}, &error)) << error;
    const std::string good = FileBytes(target);

    // A file-size limit hit half way (in a child, so the limit stays there).
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string e;
        _exit(SaveDebugDumpAt(target, DeviceLikeEntries(), &e) ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(FileBytes(target), good);
    EXPECT_EQ(FolderNames(dir_), std::vector<std::string>{"kept.debug"});

    // A target that cannot be replaced (a folder): refused, the temporary file gone too.
    std::filesystem::create_directory(dir_ + "/folder.debug");
    EXPECT_FALSE(SaveDebugDumpAt(dir_ + "/folder.debug", {{MString(u"AB"), MString(u"5")}}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FolderNames(dir_), (std::vector<std::string>{"folder.debug", "kept.debug"}));

    // A good save replaces the file whole.
    ASSERT_TRUE(SaveDebugDumpAt(target, DeviceLikeEntries(), &error)) << error;
    EXPECT_EQ(ReadDebugDump(MString::FromUtf8(target)).size(), DeviceLikeEntries().size());
}

}  // namespace
