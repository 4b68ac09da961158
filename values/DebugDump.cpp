#include "values/DebugDump.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "values/MFile.h"
#include "values/MStream.h"

MVarArray BuildDumpTree(const std::vector<std::pair<MString, MString>> &nameValuePairs)
{
    MVarArray root;
    for (const auto &[name, value] : nameValuePairs) {
        MVarArray &child = root.FindOrAdd(MVariant(name));
        child.Value().Assign(MVariant(value));
    }
    return root;
}

bool SaveDebugDump(const MString &path, const std::vector<std::pair<MString, MString>> &entries)
{
    std::string error;
    return SaveDebugDumpAt(path.ToUtf8(), entries, &error);
}

bool SaveDebugDumpAt(const std::string &path, const std::vector<std::pair<MString, MString>> &entries,
                     std::string *error)
{
    // The records are made before any file is touched, so a tree that cannot be written
    // costs nothing.
    MStream stream;
    if (path.empty() || !BuildDumpTree(entries).WriteTo(stream)) {
        *error = path.empty() ? "no file name" : "out of memory";
        return false;
    }
    return WriteFileWhole(
        path, [&](int fd) { return stream.SaveToFile(fd, true); }, error);
}

int OpenDumpForReading(const std::string &path, std::string *error)
{
    // Non-blocking, so that a FIFO without a writer does not hold us up; made blocking
    // again once the file is known to be a regular one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *error = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    const char *why = nullptr;
    if (::fstat(fd, &st) != 0)
        why = "cannot be examined";
    else if (S_ISDIR(st.st_mode))
        why = "is a directory";
    else if (!S_ISREG(st.st_mode))
        why = "is not a regular file";
    else if (st.st_size == 0)
        why = "is empty";
    if (why != nullptr) {
        ::close(fd);
        *error = why;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::vector<MString> ReadDebugDump(const MString &path)
{
    std::string error;
    const int fd = OpenDumpForReading(path.ToUtf8(), &error);
    std::vector<MString> lines = ReadDebugDumpFrom(fd, path);
    if (fd >= 0)
        ::close(fd);
    return lines;
}

std::vector<MString> ReadDebugDumpFrom(int fd, const MString &path)
{
    MVarArray root;
    std::vector<MString> lines;
    if (fd < 0 || !root.LoadFromDescriptor(fd)) {
        MString damaged(u"Файл ");
        damaged.Append(path);
        damaged.Append(u" поврежден!");
        lines.push_back(damaged);
        return lines;
    }
    // Each child's value is taken from the child itself. Looking it up again by its key
    // text finds the same child in every well-formed dump, but in a damaged one whose keys
    // are not totally ordered the look-up would add empty children while we walk the list.
    lines.reserve(static_cast<std::size_t>(root.Count()));
    for (std::int32_t i = 0; i < root.Count(); ++i) {
        const MVarArray &child = root.Child(i);
        MString line = child.Key().ToText();
        line.Append(u" = ");
        line.Append(child.Value().ToText());
        lines.push_back(std::move(line));
    }
    return lines;
}
