// Byte-building helpers shared by the record, stream and dump file tests: little-endian
// words, concatenation, a string record, and a stream holding exactly some bytes.
#pragma once

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "values/MStream.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The low 32 bits, least significant byte first; negative values as two's complement.
Bytes Le32(std::int64_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u >> 16),
            static_cast<unsigned char>(u >> 24)};
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

[[maybe_unused]] std::uint32_t GetLe32(const Bytes &b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

[[maybe_unused]] void PutLe32(Bytes &b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

// A string record: the byte count, then UTF-16LE units and the terminator.
[[maybe_unused]] Bytes TextRecord(const std::u16string &text)
{
    Bytes out = Le32(static_cast<std::int64_t>((text.size() + 1) * 2));
    for (char16_t c : text) {
        out.push_back(static_cast<unsigned char>(c));
        out.push_back(static_cast<unsigned char>(c >> 8));
    }
    out.insert(out.end(), {0, 0});
    return out;
}

// What has been written to the stream, up to its size.
[[maybe_unused]] Bytes Contents(MStream &s)
{
    return Bytes(s.Data(), s.Data() + s.Size());
}

// A stream holding exactly these bytes, positioned at 0, as a loaded file leaves it: its
// reads end with the bytes.
[[maybe_unused]] void Fill(MStream &s, const Bytes &bytes)
{
    const int fd = ::memfd_create("fill", 0);
    ASSERT_GE(fd, 0);
    const Bytes file = Cat({Le32(static_cast<std::int64_t>(bytes.size())), bytes});
    ASSERT_EQ(::write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    ::lseek(fd, 0, SEEK_SET);
    const bool loaded = s.LoadFromFile(fd, false);
    ::close(fd);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(s.Limit(), static_cast<std::int32_t>(bytes.size()));
}

}  // namespace
