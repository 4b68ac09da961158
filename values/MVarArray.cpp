#include "values/MVarArray.h"

#include <unistd.h>

#include <algorithm>
#include <new>

#include "values/MFile.h"
#include "values/MStream.h"

MVarArray &MVarArray::InsertAt(std::size_t position, const MVariant &key)
{
    try {
        auto child = std::make_unique<MVarArray>();
        child->key_.Assign(key);
        auto it = children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(position), std::move(child));
        return **it;
    } catch (const std::bad_alloc &) {
        children_.clear();
        return *this;
    }
}

MVarArray &MVarArray::FindOrAdd(const MVariant &key)
{
    const std::size_t n = children_.size();
    if (n == 0)
        return InsertAt(0, key);
    if (key.Less(children_.front()->key_))
        return InsertAt(0, key);
    if (key.Greater(children_.back()->key_))
        return InsertAt(n, key);
    if (key.Equals(children_.front()->key_))
        return *children_.front();
    if (key.Equals(children_.back()->key_))
        return *children_.back();
    std::size_t lo = 0;
    std::size_t hi = n - 1;
    while (lo + 1 < hi) {
        const std::size_t mid = (lo + hi) / 2;
        const MVariant &midKey = children_[mid]->key_;
        if (key.Equals(midKey))
            return *children_[mid];
        if (key.Less(midKey))
            hi = mid;
        else
            lo = mid;
    }
    return InsertAt(lo + 1, key);
}

bool MVarArray::WriteTo(MBaseStream &stream) const
{
    const std::uint32_t count = static_cast<std::uint32_t>(children_.size());
    const unsigned char word[4] = {static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
                                   static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
    if (!stream.Write(word, 4) || !key_.WriteTo(stream) || !value_.WriteTo(stream))
        return false;
    for (const auto &child : children_) {
        if (!child->WriteTo(stream))
            return false;
    }
    return true;
}

bool MVarArray::ReadFrom(MBaseStream &stream)
{
    children_.clear();
    std::int32_t nodesLeft = kMaxNodes;
    return ReadNode(stream, 0, nodesLeft);
}

bool MVarArray::ReadNode(MBaseStream &stream, int depth, std::int32_t &nodesLeft)
{
    // A dump has two levels; a file nested deeper than any writer makes is damaged, and
    // refusing it keeps the recursion off the end of the stack.
    if (depth > kMaxDepth || nodesLeft-- <= 0)
        return false;
    unsigned char word[4];
    if (stream.Read(word, 4) != 4)
        return false;
    std::int32_t count = static_cast<std::int32_t>(std::uint32_t(word[0]) | std::uint32_t(word[1]) << 8 |
                                                   std::uint32_t(word[2]) << 16 | std::uint32_t(word[3]) << 24);
    if (!key_.ReadFrom(stream) || !value_.ReadFrom(stream))
        return false;
    if (count < 0 || count > kMaxChildren)
        count = 0;
    // Each child is made only when its record is about to be read, so a count the file
    // cannot back costs nothing up front.
    for (std::int32_t i = 0; i < count; ++i) {
        children_.push_back(std::make_unique<MVarArray>());
        if (!children_.back()->ReadNode(stream, depth + 1, nodesLeft))
            return false;
    }
    SortChildren();
    return true;
}

void MVarArray::SortChildren()
{
    // Bottom-up merge sort. Keys from a file need not be totally ordered (not-a-number,
    // mixed types); unlike std::sort, this never leaves its range whatever the comparison
    // answers, and stays O(n log n) for 100000 children.
    const std::size_t n = children_.size();
    if (n < 2)
        return;
    std::vector<std::unique_ptr<MVarArray>> scratch(n);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t left = 0; left < n; left += 2 * width) {
            const std::size_t mid = std::min(left + width, n);
            const std::size_t right = std::min(left + 2 * width, n);
            std::size_t a = left, b = mid, out = left;
            while (a < mid && b < right) {
                if (children_[b]->key_.Less(children_[a]->key_))
                    scratch[out++] = std::move(children_[b++]);
                else
                    scratch[out++] = std::move(children_[a++]);
            }
            while (a < mid)
                scratch[out++] = std::move(children_[a++]);
            while (b < right)
                scratch[out++] = std::move(children_[b++]);
        }
        children_.swap(scratch);
    }
}

bool MVarArray::SaveToFile(const MString &path) const
{
    // The records are made before the file is opened, so a tree that cannot be written
    // does not cost the file that was there.
    MStream stream;
    if (!WriteTo(stream))
        return false;
    const int fd = CreateForWriting(path);
    if (fd < 0)
        return false;
    const bool saved = stream.SaveToFile(fd, true);
    const bool closed = ::close(fd) == 0;
    return saved && closed;
}

bool MVarArray::LoadFromDescriptor(int fd)
{
    MStream stream;
    if (!stream.LoadFromFile(fd, true))
        return false;
    return ReadFrom(stream);
}

bool MVarArray::LoadFromFile(const MString &path)
{
    const int fd = OpenForReading(path);
    if (fd < 0)
        return false;
    const bool loaded = LoadFromDescriptor(fd);
    ::close(fd);
    return loaded;
}
