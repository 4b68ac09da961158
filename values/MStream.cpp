#include "values/MStream.h"

#include <lzo/lzo1x.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace {

bool LzoReady()
{
    static const bool ready = lzo_init() == LZO_E_OK;
    return ready;
}

void PutLe32(unsigned char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t GetLe32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint32_t ByteSum(const unsigned char *p, std::size_t n)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += p[i];
    return sum;
}

// The most that L bytes of valid LZO1X data can decompress to. The best ratio comes from a
// long match: every extra zero byte of its length run adds 255 output bytes, and no other
// instruction gives more than 256 bytes per input byte. So S may claim at most about 256 * L;
// a block claiming more is damaged and must not make us take S bytes.
std::uint64_t MaxExpansion(std::uint64_t compressedLength)
{
    return compressedLength * 256 + 256;
}

bool WriteAll(int fd, const unsigned char *p, std::size_t n)
{
    while (n > 0) {
        const ssize_t done = ::write(fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

// Reads up to n bytes; fewer only at the end of the file or on an error.
std::size_t ReadUpTo(int fd, unsigned char *p, std::size_t n)
{
    std::size_t have = 0;
    while (have < n) {
        const ssize_t got = ::read(fd, p + have, n - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        have += static_cast<std::size_t>(got);
    }
    return have;
}

}  // namespace

MStream::MStream() : buffer_(data_, 8), canCompress_(LzoReady())
{
}

MStream::~MStream() = default;

bool MStream::Grow(std::int64_t end)
{
    const std::int64_t newLimit = (end / kGrowthStep + 1) * kGrowthStep;
    if (newLimit > INT32_MAX || !buffer_.Resize(newLimit)) {
        position_ = 0;
        limit_ = 0;
        writeEnd_ = 0;
        return false;
    }
    // Cleared so that reads up to the limit never see stale or uninitialised bytes.
    std::memset(data_ + limit_, 0, static_cast<std::size_t>(newLimit - limit_));
    limit_ = static_cast<std::int32_t>(newLimit);
    return true;
}

bool MStream::Write(const void *bytes, std::int32_t count)
{
    CAutoLock guard(lock_);
    if (count < 0 || (count > 0 && bytes == nullptr))
        return false;
    const std::int64_t end = std::int64_t(position_) + count;
    if (end > limit_ && !Grow(end))
        return false;
    if (count > 0)
        std::memcpy(data_ + position_, bytes, static_cast<std::size_t>(count));
    position_ = writeEnd_ = static_cast<std::int32_t>(end);
    state_ = kPlain;
    return true;
}

std::int64_t MStream::Seek(std::int64_t position)
{
    if (position < 0 || position >= limit_)
        return -1;
    position_ = static_cast<std::int32_t>(position);
    return position_;
}

std::int32_t MStream::Read(void *buffer, std::int32_t count)
{
    CAutoLock guard(lock_);
    if (count < 0 || (count > 0 && buffer == nullptr))
        return -1;
    const std::int32_t n =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t(limit_) - position_, 0, count));
    if (n > 0)
        std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int32_t MStream::Compress()
{
    if (!canCompress_)
        return -1;
    const std::int32_t plainLength = position_;
    if (plainLength < kMinCompressed)
        return 0;
    // LZO1X-1's worst case for incompressible input.
    const std::size_t capacity = std::size_t(plainLength) + plainLength / 16 + 67;
    std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[capacity]);
    std::unique_ptr<unsigned char[]> work(new (std::nothrow) unsigned char[LZO1X_1_MEM_COMPRESS]);
    if (!out || !work)
        return -1;
    lzo_uint outLength = capacity;
    const int rc = lzo1x_1_compress(data_, static_cast<lzo_uint>(plainLength), out.get(), &outLength, work.get());
    if (rc != LZO_E_OK || outLength >= static_cast<lzo_uint>(plainLength))
        return 0;
    unsigned char header[8];
    PutLe32(header, static_cast<std::uint32_t>(plainLength));
    PutLe32(header + 4, ByteSum(out.get(), outLength));
    if (Seek(0) != 0 || !Write(header, 8) || !Write(out.get(), static_cast<std::int32_t>(outLength)))
        return -1;
    state_ = kCompressed;
    return position_;
}

std::int32_t MStream::Decompress()
{
    if (state_ != kCompressed)
        return position_;
    const std::int32_t total = position_;
    if (total < 8)
        return -1;
    const std::size_t dataLength = static_cast<std::size_t>(total - 8);
    unsigned char header[8];
    if (Seek(0) != 0 || Read(header, 8) != 8)
        return -1;
    const std::uint32_t payloadLength = GetLe32(header);
    const std::uint32_t sum = GetLe32(header + 4);
    if (ByteSum(data_ + 8, dataLength) != sum || payloadLength == 0 || payloadLength > kMaxPayload ||
        payloadLength > MaxExpansion(dataLength))
        return -1;
    std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[payloadLength]);
    if (!out)
        return -1;
    lzo_uint outLength = payloadLength;
    const int rc = lzo1x_decompress_safe(data_ + 8, dataLength, out.get(), &outLength, nullptr);
    if (rc != LZO_E_OK || outLength != payloadLength)
        return -1;
    if (Seek(0) != 0 || !Write(out.get(), static_cast<std::int32_t>(payloadLength)))
        return -1;
    // The payload is the loaded content now: reads stop at its end, not in the old block.
    limit_ = static_cast<std::int32_t>(payloadLength);
    return position_;
}

bool MStream::SaveToFile(int fd, bool compress)
{
    if (fd < 0)
        return false;
    if (compress && state_ == kPlain && Compress() < 0)
        return false;
    const std::int32_t header = state_ == kCompressed ? -position_ : position_;
    unsigned char word[4];
    PutLe32(word, static_cast<std::uint32_t>(header));
    return WriteAll(fd, word, 4) && WriteAll(fd, data_, static_cast<std::size_t>(position_));
}

bool MStream::FillFromFile(int fd, std::int64_t count)
{
    // The buffer grows with the bytes that actually arrive, so a header word that claims
    // more than the file holds costs no more memory than the file itself.
    std::int64_t have = 0;
    std::int64_t capacity = 0;
    if (count == 0)
        return buffer_.Resize(0);
    while (have < count) {
        if (have == capacity) {
            capacity = std::min<std::int64_t>(count, std::max<std::int64_t>(capacity * 2, 65536));
            if (!buffer_.Resize(capacity))
                return false;
        }
        const std::size_t got = ReadUpTo(fd, data_ + have, static_cast<std::size_t>(capacity - have));
        if (got == 0)
            return false;
        have += static_cast<std::int64_t>(got);
    }
    return true;
}

bool MStream::LoadFromFile(int fd, bool decompress)
{
    if (fd < 0)
        return false;
    unsigned char word[4];
    if (ReadUpTo(fd, word, 4) != 4)
        return false;
    const std::int32_t header = static_cast<std::int32_t>(GetLe32(word));
    const std::int64_t body = header < 0 ? -std::int64_t(header) : header;
    state_ = header < 0 ? kCompressed : kPlain;
    if (body > INT32_MAX || !FillFromFile(fd, body)) {
        position_ = limit_ = writeEnd_ = 0;
        return false;
    }
    position_ = writeEnd_ = limit_ = static_cast<std::int32_t>(body);
    if (decompress && state_ == kCompressed && Decompress() < 0)
        return false;
    position_ = 0;
    return true;
}
