// MBlob: a counted byte block, the payload of a Blob variant. Nothing shares a block between
// blobs (Assign copies), but the count is kept so Release stays the one way to free it.
#pragma once

#include <cstdint>

class MBaseStream;

class MBlob {
public:
    static constexpr std::int32_t kMaxCapacity = 1000000000;

    MBlob() = default;
    MBlob(const MBlob &other) { Assign(other); }
    MBlob(MBlob &&other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    MBlob &operator=(const MBlob &other)
    {
        Assign(other);
        return *this;
    }
    MBlob &operator=(MBlob &&other) noexcept;
    ~MBlob() { Release(); }

    void Release();
    // 0..kMaxCapacity bytes, else false. False also when memory cannot be had (capacity 0).
    bool SetCapacity(std::int32_t bytes);
    // Copies the other blob's used bytes into a new block of that capacity.
    bool Assign(const MBlob &other);
    bool Equals(const MBlob &other) const;

    bool WriteTo(MBaseStream &stream) const;
    bool ReadFrom(MBaseStream &stream);

    bool IsEmpty() const { return block_ == nullptr; }
    std::int32_t Capacity() const { return block_ ? block_->capacity : 0; }
    std::int32_t Used() const { return block_ ? block_->used : 0; }
    const unsigned char *Bytes() const { return block_ ? block_->bytes : nullptr; }
    // Copies count bytes in as the used content (capacity grows when needed).
    bool SetBytes(const void *bytes, std::int32_t count);

private:
    struct Block {
        std::int32_t capacity = 0;
        std::int32_t used = 0;
        std::int32_t refs = 1;
        unsigned char *bytes = nullptr;
    };

    Block *block_ = nullptr;
};
