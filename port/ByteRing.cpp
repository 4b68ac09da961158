#include "port/ByteRing.h"

namespace {
inline uint16_t Next(uint16_t i)
{
    return i + 1 == ByteRing::kSize ? 0 : static_cast<uint16_t>(i + 1);
}
}  // namespace

size_t ByteRing::Put(const uint8_t *bytes, size_t n, bool overwrite)
{
    size_t stored = 0;
    for (; stored < n; ++stored) {
        if (count_ == kSize) {
            if (!overwrite)
                break;
            read_ = Next(read_);  // the oldest byte gives way
        } else {
            ++count_;
        }
        data_[write_] = bytes[stored];
        write_ = Next(write_);
    }
    return stored;
}

size_t ByteRing::Peek(uint8_t *buf, size_t n) const
{
    size_t k = n < count_ ? n : count_;
    uint16_t at = read_;
    for (size_t i = 0; i < k; ++i) {
        buf[i] = data_[at];
        at = Next(at);
    }
    return k;
}

size_t ByteRing::Take(uint8_t *buf, size_t n)
{
    size_t k = Peek(buf, n);
    read_ = static_cast<uint16_t>((read_ + k) % kSize);
    count_ = static_cast<uint16_t>(count_ - k);
    return k;
}

void ByteRing::Unget(size_t n)
{
    if (n > Free())
        n = Free();
    read_ = static_cast<uint16_t>((read_ + kSize - n) % kSize);
    count_ = static_cast<uint16_t>(count_ + n);
}

void ByteRing::Clear()
{
    read_ = 0;
    write_ = 0;
    count_ = 0;
}
