#include "values/MFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

MString LongPath(const MString &path)
{
    if (path.Length() < 260) return path;
    if (path.Find(MString(u"\\\\?"), 0) >= 0) return path;
    if (path.Length() >= 2 && path.Chars()[0] == u'\\' && path.Chars()[1] == u'\\')
        return MString::Concat(u"\\\\?\\UNC", path.Mid(1, path.Length() - 1));
    return MString::Concat(u"\\\\?\\", path);
}

namespace {

int OpenRetrying(const std::string &path, int flags, mode_t mode)
{
    if (path.empty()) return -1;
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
    if (fd < 0) return -1;
    // A directory opens read-only on POSIX but has no bytes to read; callers expect a file.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}
