// File-name helpers: the long-path form and opening files on a temporary directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "values/MFile.h"

namespace {

std::u16string Text(const MString &s)
{
    return std::u16string(s.View());
}

MString Repeat(char16_t unit, unsigned count)
{
    MString s;
    for (unsigned i = 0; i < count; ++i)
        s.Append(unit);
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
        for (const std::string &f : created_)
            ::unlink(f.c_str());
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
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            out.append(buf, static_cast<size_t>(n));
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

namespace {

// Writes `text` through WriteFileWhole.
bool WriteText(const std::string &path, const std::string &text, std::string *error)
{
    return WriteFileWhole(
        path, [&](int fd) { return WriteAllBytes(fd, text.data(), text.size()); }, error);
}

std::string FileText(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::string out;
    char buf[256];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<size_t>(n));
    if (fd >= 0)
        ::close(fd);
    return out;
}

bool IsLink(const std::string &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

TEST_F(MFileTest, WritingThroughASymbolicLinkReplacesTheFileItNamesAndKeepsTheLink)
{
    const std::string target = PathOf("target.txt"), link = PathOf("link.txt"), dangling = PathOf("dangling.txt"),
                      fresh = PathOf("fresh.txt");
    std::string error;
    ASSERT_TRUE(WriteText(target, "old\n", &error)) << error;
    ASSERT_EQ(::symlink("target.txt", link.c_str()), 0);  // relative: to the link's folder
    ASSERT_TRUE(WriteText(link, "new\n", &error)) << error;
    EXPECT_TRUE(IsLink(link));
    EXPECT_EQ(FileText(target), "new\n");

    // A link to a file not yet there creates that file.
    ASSERT_EQ(::symlink(fresh.c_str(), dangling.c_str()), 0);
    ASSERT_TRUE(WriteText(dangling, "made\n", &error)) << error;
    EXPECT_TRUE(IsLink(dangling));
    EXPECT_EQ(FileText(fresh), "made\n");

    // A loop is an error, not a hang.
    const std::string a = PathOf("loop-a"), b = PathOf("loop-b");
    ASSERT_EQ(::symlink(b.c_str(), a.c_str()), 0);
    ASSERT_EQ(::symlink(a.c_str(), b.c_str()), 0);
    EXPECT_FALSE(WriteText(a, "x", &error));
    EXPECT_NE(error.find("symbolic links"), std::string::npos) << error;
    EXPECT_FALSE(WriteText(dir_, "x", &error));
    EXPECT_EQ(error, "is a directory");
}

TEST_F(MFileTest, ATerminalIsWrittenIntoAndDashIsTheStandardOutput)
{
    // A pseudo-terminal stands for the operator's terminal: no file can go beside it.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    const int keep = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);  // raw mode, so bytes pass as they are
    ASSERT_GE(keep, 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(keep, &tio), 0);
    ::cfmakeraw(&tio);
    ASSERT_EQ(::tcsetattr(keep, TCSANOW, &tio), 0);
    std::string error;
    ASSERT_TRUE(WriteText(terminal, "to the terminal", &error)) << error;
    char buf[64] = {};
    const ssize_t n = ::read(master, buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), "to the terminal");
    ::close(keep);
    ::close(master);

    const std::string out = PathOf("stdout.txt");
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(fd, STDOUT_FILENO);
    const bool ok = WriteText("-", "to standard output", &error);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(fd);
    EXPECT_TRUE(ok) << error;
    EXPECT_EQ(FileText(out), "to standard output");
}

TEST_F(MFileTest, OnlyAWholeRegularFileWithinTheLimitIsRead)
{
    const std::string file = PathOf("small.txt"), fifo = PathOf("fifo");
    std::string error, text;
    ASSERT_TRUE(WriteText(file, "12345", &error)) << error;
    ASSERT_TRUE(ReadRegularFile(file, 5, &text, &error)) << error;
    EXPECT_EQ(text, "12345");
    EXPECT_FALSE(ReadRegularFile(file, 4, &text, &error));
    EXPECT_EQ(error, "is too large");

    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string Path;
        std::string Error;
    } refused[] = {
        {fifo, "is not a regular file"},         // no writer: would wait for ever
        {"/dev/zero", "is not a regular file"},  // would never end
        {dir_, "is a directory"},
        {dir_ + "/missing", "No such file or directory"},
    };
    for (const auto &r : refused) {
        text = "untouched";
        EXPECT_FALSE(ReadRegularFile(r.Path, 1 << 20, &text, &error)) << r.Path;
        EXPECT_EQ(error, r.Error) << r.Path;
        EXPECT_EQ(text, "untouched") << r.Path;
    }
}
