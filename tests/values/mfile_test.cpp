// File-name helpers: the long-path form and opening files on a temporary directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "values/MFile.h"

namespace {

std::u16string Text(const MString &s) { return std::u16string(s.View()); }

MString Repeat(char16_t unit, unsigned count)
{
    MString s;
    for (unsigned i = 0; i < count; ++i) s.Append(unit);
    return s;
}

class MFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/mfile_test_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        for (const std::string &f : created_) ::unlink(f.c_str());
        ::rmdir(dir_.c_str());
    }
    std::string PathOf(const std::string &name)
    {
        created_.push_back(dir_ + "/" + name);
        return created_.back();
    }
    static std::string ReadAll(int fd)
    {
        std::string out;
        char buf[64];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
        return out;
    }

    std::string dir_;
    std::vector<std::string> created_;
};

}  // namespace

TEST(LongPath, Table)
{
    const MString local259 = MString::Concat(u"C:\\", Repeat(u'a', 256));
    const MString local260 = MString::Concat(u"C:\\", Repeat(u'a', 257));
    const MString network300 = MString::Concat(u"\\\\srv\\share\\", Repeat(u'b', 288));
    const MString prefixed = MString::Concat(u"\\\\?\\C:\\", Repeat(u'c', 300));
    ASSERT_EQ(local259.Length(), 259u);
    ASSERT_EQ(network300.Length(), 300u);

    EXPECT_TRUE(LongPath(local259).Equals(local259));
    EXPECT_TRUE(LongPath(local260).Equals(MString::Concat(u"\\\\?\\", local260)));
    EXPECT_EQ(Text(LongPath(network300)), u"\\\\?\\UNC\\srv\\share\\" + Text(Repeat(u'b', 288)));
    EXPECT_TRUE(LongPath(prefixed).Equals(prefixed));
    EXPECT_TRUE(LongPath(MString(u"\\\\short\\x")).Equals(MString(u"\\\\short\\x")));
}

TEST_F(MFileTest, CreateTruncatesAndOpenReads)
{
    const std::string path = PathOf("dump.debug");
    const MString name = MString::FromUtf8(path);

    int fd = CreateForWriting(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "hello world", 11), 11);
    ::close(fd);

    fd = CreateForWriting(name);  // an existing file starts again empty
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "hi", 2), 2);
    ::close(fd);

    fd = OpenForReading(name);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReadAll(fd), "hi");
    EXPECT_EQ(::write(fd, "x", 1), -1);  // read-only
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    ::close(fd);
}

TEST_F(MFileTest, CyrillicNamesAreUtf8OnDisk)
{
    const std::string path = PathOf("Батарея.debug");
    const int fd = CreateForWriting(MString::FromUtf8(path));
    ASSERT_GE(fd, 0);
    ::close(fd);
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
}

TEST_F(MFileTest, FailuresGiveMinusOne)
{
    EXPECT_EQ(OpenForReading(MString::FromUtf8(dir_ + "/missing.debug")), -1);
    EXPECT_EQ(CreateForWriting(MString::FromUtf8(dir_ + "/no/such/dir.debug")), -1);
    EXPECT_EQ(OpenForReading(MString()), -1);
    EXPECT_EQ(CreateForWriting(MString()), -1);
    EXPECT_EQ(OpenForReading(MString::FromUtf8(dir_)), -1);  // a directory is not a file
    EXPECT_EQ(CreateForWriting(MString::FromUtf8(dir_)), -1);
}
