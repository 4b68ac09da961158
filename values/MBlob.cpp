#include "values/MBlob.h"

#include <cstdlib>
#include <cstring>

#include "values/MStream.h"

MBlob &MBlob::operator=(MBlob &&other) noexcept
{
    if (this != &other) {
        Release();
        block_ = other.block_;
        other.block_ = nullptr;
    }
    return *this;
}

void MBlob::Release()
{
    if (!block_)
        return;
    if (--block_->refs == 0) {
        std::free(block_->bytes);
        delete block_;
    }
    block_ = nullptr;
}

bool MBlob::SetCapacity(std::int32_t bytes)
{
    if (bytes < 0 || bytes > kMaxCapacity)
        return false;
    if (!block_) {
        block_ = new (std::nothrow) Block;
        if (!block_)
            return false;
    }
    if (bytes == 0) {
        std::free(block_->bytes);
        block_->bytes = nullptr;
        block_->capacity = block_->used = 0;
        return true;
    }
    void *fresh = std::realloc(block_->bytes, static_cast<std::size_t>(bytes));
    if (!fresh) {
        std::free(block_->bytes);
        block_->bytes = nullptr;
        block_->capacity = block_->used = 0;
        return false;
    }
    block_->bytes = static_cast<unsigned char *>(fresh);
    block_->capacity = bytes;
    if (block_->used > bytes)
        block_->used = bytes;
    return true;
}

bool MBlob::SetBytes(const void *bytes, std::int32_t count)
{
    if (count < 0 || (count > 0 && !bytes))
        return false;
    if ((!block_ || block_->capacity < count) && !SetCapacity(count))
        return false;
    if (count > 0)
        std::memcpy(block_->bytes, bytes, static_cast<std::size_t>(count));
    block_->used = count;
    return true;
}

bool MBlob::Assign(const MBlob &other)
{
    if (this == &other)
        return true;
    Release();
    if (!other.block_)
        return true;
    return SetBytes(other.block_->bytes, other.block_->used);
}

bool MBlob::Equals(const MBlob &other) const
{
    if (block_ == other.block_)
        return true;
    if (!block_ || !other.block_)
        return false;
    if (block_->used != other.block_->used)
        return false;
    return block_->used == 0 ||
           std::memcmp(block_->bytes, other.block_->bytes, static_cast<std::size_t>(block_->used)) == 0;
}

bool MBlob::WriteTo(MBaseStream &stream) const
{
    const std::int32_t used = block_ && block_->bytes ? block_->used : 0;
    unsigned char word[4];
    for (int i = 0; i < 4; ++i)
        word[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(used) >> (8 * i));
    if (!stream.Write(word, 4))
        return false;
    return used == 0 || stream.Write(block_->bytes, used);
}

bool MBlob::ReadFrom(MBaseStream &stream)
{
    unsigned char word[4];
    if (stream.Read(word, 4) != 4)
        return false;
    const std::int32_t length = static_cast<std::int32_t>(std::uint32_t(word[0]) | std::uint32_t(word[1]) << 8 |
                                                          std::uint32_t(word[2]) << 16 | std::uint32_t(word[3]) << 24);
    // A length the stream cannot deliver is a damaged record: refuse it before taking memory.
    if (length > StreamRemaining(stream))
        return false;
    if (!SetCapacity(length))
        return false;
    if (length > 0) {
        block_->used = length;
        if (stream.Read(block_->bytes, length) != length)
            return false;
    }
    return true;
}
