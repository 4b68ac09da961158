// Arbitrary bytes as a debug dump file: the header word, the compressed block and the tree
// records must never crash, hang or take memory out of proportion to the input.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "values/DebugDump.h"
#include "values/MStream.h"
#include "values/MVarArray.h"

namespace {

using Record = std::pair<std::string, std::string>;

std::vector<Record> Records(const MVarArray &tree)
{
    std::vector<Record> records;
    for (std::int32_t i = 0; i < tree.Count(); ++i)
        records.emplace_back(tree.Child(i).Key().ToText().ToUtf8(), tree.Child(i).Value().ToText().ToUtf8());
    return records;
}

bool OnlyTextKeys(const MVarArray &tree)
{
    for (std::int32_t i = 0; i < tree.Count(); ++i) {
        if (tree.Child(i).Key().EffectiveTag() != MVariant::Text)
            return false;
    }
    return true;
}

bool Rewind(int fd)
{
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0;
}

bool WriteAll(int fd, const std::uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done <= 0)
            return false;
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // An in-memory file, so the reader runs its real descriptor path.
    static const int fd = ::memfd_create("dump_reader_fuzz", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0 || !WriteAll(fd, data, size) ||
        ::lseek(fd, 0, SEEK_SET) != 0)
        return 0;
    // The viewer's reading of the same bytes: lines or the single damaged line, never a crash.
    const std::vector<MString> viewed = ReadDebugDumpFrom(fd, MString(u"fuzz.debug"));
    if (viewed.empty() && size > 0 && ::lseek(fd, 0, SEEK_SET) == 0) {
        // An empty list is only right for a loadable tree with no variables.
        MVarArray check;
        if (!check.LoadFromDescriptor(fd) || check.Count() != 0)
            __builtin_trap();
    }
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return 0;
    MVarArray root;
    if (!root.LoadFromDescriptor(fd))
        return 0;
    // What the viewer does with a loaded tree, and writing it again.
    for (std::int32_t i = 0; i < root.Count(); ++i) {
        MString line = root.Child(i).Key().ToText();
        line.Append(root.Child(i).Value().ToText());
    }
    // Whatever was loaded and can be written again must read back whole: the writer never
    // makes a record the reader refuses.
    MStream out;
    if (!root.WriteTo(out))
        return 0;
    if (out.Seek(0) != 0)
        __builtin_trap();
    MVarArray back;
    if (!back.ReadFrom(out) || back.Count() != root.Count() || out.Position() != out.Size())
        __builtin_trap();

    // The compressing writer on what was loaded: saved through a file descriptor with the
    // header word and compression, then read back by the loader and by the viewer.
    static const int saved = ::memfd_create("dump_reader_fuzz_saved", 0);
    if (saved < 0 || !Rewind(saved))
        return 0;
    MStream packed;
    if (!root.WriteTo(packed))
        return 0;
    if (!packed.SaveToFile(saved, true))
        return 0;
    if (::lseek(saved, 0, SEEK_SET) != 0)
        __builtin_trap();
    MVarArray reloaded;
    if (!reloaded.LoadFromDescriptor(saved) || reloaded.Count() != root.Count())
        __builtin_trap();
    // Every record comes back with its key and value text. Keys of one kind, as a device's
    // dump has, come back in the same order too; mixed kinds have no consistent order (a text
    // and a number compare as texts, two numbers as numbers), so sorting again may move them.
    std::vector<Record> before = Records(root);
    std::vector<Record> after = Records(reloaded);
    if (!OnlyTextKeys(root)) {
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
    }
    if (before != after) {
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (before[i] != after[i])
                std::fprintf(stderr, "record %zu: [%s]=[%s] came back as [%s]=[%s]\n", i, before[i].first.c_str(),
                             before[i].second.c_str(), after[i].first.c_str(), after[i].second.c_str());
        }
        __builtin_trap();
    }
    if (::lseek(saved, 0, SEEK_SET) != 0)
        __builtin_trap();
    if (ReadDebugDumpFrom(saved, MString(u"saved.debug")).size() != static_cast<std::size_t>(root.Count()))
        __builtin_trap();
    return 0;
}
