// The string record of the stream formats: a 32-bit byte count, then the UTF-16LE text with
// its terminating 0 unit (no bytes at all for an empty text).
#include <cstring>
#include <memory>
#include <new>

#include "values/MStream.h"
#include "values/MString.h"

namespace {
constexpr std::int32_t kMaxRecordBytes = 9999999;
}

bool MString::WriteTo(MBaseStream &stream) const
{
    const std::uint32_t units = Length();
    if (units >= static_cast<std::uint32_t>(kMaxRecordBytes / 2))
        return false;  // a record this long could never be read back
    const std::int32_t bytes = units == 0 ? 0 : static_cast<std::int32_t>((units + 1) * 2);
    unsigned char word[4];
    for (int i = 0; i < 4; ++i)
        word[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(bytes) >> (8 * i));
    if (!stream.Write(word, 4))
        return false;
    if (bytes == 0)
        return true;
    std::unique_ptr<unsigned char[]> text(new (std::nothrow) unsigned char[static_cast<std::size_t>(bytes)]);
    if (!text)
        return false;
    const char16_t *chars = Chars();
    for (std::uint32_t i = 0; i <= units; ++i) {  // the terminator too
        text[2 * i] = static_cast<unsigned char>(chars[i] & 0xFF);
        text[2 * i + 1] = static_cast<unsigned char>(chars[i] >> 8);
    }
    return stream.Write(text.get(), bytes);
}

bool MString::ReadFrom(MBaseStream &stream)
{
    Assign(MString());
    unsigned char word[4];
    if (stream.Read(word, 4) != 4)
        return false;
    const std::int32_t bytes = static_cast<std::int32_t>(std::uint32_t(word[0]) | std::uint32_t(word[1]) << 8 |
                                                         std::uint32_t(word[2]) << 16 | std::uint32_t(word[3]) << 24);
    // The count must be in range and, before memory is taken for it, deliverable by the stream.
    if (bytes < 0 || bytes > kMaxRecordBytes || bytes > StreamRemaining(stream))
        return false;
    if (bytes == 0)
        return true;
    std::unique_ptr<unsigned char[]> raw(new (std::nothrow) unsigned char[static_cast<std::size_t>(bytes)]);
    if (!raw || stream.Read(raw.get(), bytes) != bytes)
        return false;
    const std::size_t units = static_cast<std::size_t>(bytes) / 2;
    std::unique_ptr<char16_t[]> text(new (std::nothrow) char16_t[units + 1]);
    if (!text)
        return false;
    for (std::size_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
    text[units] = 0;
    AssignUnits(text.get(), units);
    return true;
}
