#include "values/MFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

MString LongPath(const MString &path)
{
    if (path.Length() < 260)
        return path;
    if (path.Find(MString(u"\\\\?"), 0) >= 0)
        return path;
    if (path.Length() >= 2 && path.Chars()[0] == u'\\' && path.Chars()[1] == u'\\')
        return MString::Concat(u"\\\\?\\UNC", path.Mid(1, path.Length() - 1));
    return MString::Concat(u"\\\\?\\", path);
}

namespace {

int OpenRetrying(const std::string &path, int flags, mode_t mode)
{
    if (path.empty())
        return -1;
    int fd;
    do {
        fd = ::open(path.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

int CreateForWriting(const MString &path)
{
    return OpenRetrying(path.ToUtf8(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

int OpenForReading(const MString &path)
{
    const int fd = OpenRetrying(path.ToUtf8(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // A directory opens read-only on POSIX but has no bytes to read; callers expect a file.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

namespace {

// Links are followed by hand: a dangling link names the file to create, which realpath
// would not give.
constexpr int kMaxLinkHops = 40;

std::string Folder(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// The file a path finally names, following symbolic links; false on a loop or an error
// other than "does not exist".
bool FinalTarget(std::string path, std::string *target, int *error)
{
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                *error = errno;
                return false;
            }
            *target = path;  // a new file
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            *target = path;
            return true;
        }
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<size_t>(n) >= link.size()) {
            *error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        link.resize(static_cast<size_t>(n));
        // A relative link is relative to the link's own folder.
        path = link[0] == '/' || path.find('/') == std::string::npos ? link : Folder(path) + link;
    }
    *error = ELOOP;
    return false;
}

}  // namespace

bool ReadRegularFile(const std::string &path, size_t maxSize, std::string *text, std::string *error)
{
    const int fd = OpenRetrying(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    const char *why = nullptr;
    if (::fstat(fd, &st) != 0)
        why = std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        why = "is a directory";
    else if (!S_ISREG(st.st_mode))
        why = "is not a regular file";
    else if (static_cast<unsigned long long>(st.st_size) > maxSize)
        why = "is too large";
    std::string bytes;
    while (why == nullptr) {
        char buf[65536];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            why = std::strerror(errno);
        else if (n == 0)
            break;
        else if (bytes.size() + static_cast<size_t>(n) > maxSize)
            why = "is too large";
        else
            bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (why != nullptr) {
        *error = why;
        return false;
    }
    *text = std::move(bytes);
    return true;
}

bool WriteAllBytes(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool IsStandardOutput(const std::string &path)
{
    if (path == "-")
        return true;
    struct stat out {
    }, named{};
    return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(path.c_str(), &named) == 0 && out.st_dev == named.st_dev &&
           out.st_ino == named.st_ino;
}

bool WriteFileWhole(const std::string &path, const std::function<bool(int fd)> &write, std::string *error)
{
    if (path.empty()) {
        *error = "no file name";
        return false;
    }
    if (IsStandardOutput(path)) {
        std::fflush(stdout);  // whatever was printed before goes first
        errno = 0;
        if (!write(STDOUT_FILENO)) {
            *error = std::strerror(errno != 0 ? errno : EIO);
            return false;
        }
        return true;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            *error = "is a directory";
            return false;
        }
        // A terminal or a pipe has no folder to put a file beside: write into it. Opened
        // by the given path, so that links like /dev/stderr lead where the kernel says.
        const int fd = OpenRetrying(path, O_WRONLY | O_CLOEXEC | O_NOCTTY, 0);
        if (fd < 0) {
            *error = std::strerror(errno);
            return false;
        }
        errno = 0;
        const bool ok = write(fd);
        const int saved = errno;
        ::close(fd);
        if (!ok)
            *error = std::strerror(saved != 0 ? saved : EIO);
        return ok;
    }
    std::string target;
    int e = 0;
    if (!FinalTarget(path, &target, &e)) {
        *error = std::strerror(e);
        return false;
    }
    st = {};
    ::stat(target.c_str(), &st);
    const size_t slash = target.rfind('/');
    const std::string folder = Folder(target);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = (slash == std::string::npos ? std::string() : folder) + "." + name + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    // mkstemp makes 0600; the file is an ordinary document, or keeps the mode it had.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, S_ISREG(st.st_mode) ? (st.st_mode & 07777) : (0666 & ~mask));
    errno = 0;
    bool ok = write(fd);
    int saved = errno;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        saved = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        *error = std::strerror(saved != 0 ? saved : EIO);
        return false;
    }
    // The rename itself lasts only once the folder is on disk too.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
