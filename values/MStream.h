// Byte streams through which strings, variants and trees write and read their records, and
// MStream, the growable memory stream that compresses itself into the dump file container.
#pragma once

#include <cstdint>

#include "core/CritSection.h"
#include "values/ArrayT.h"

class MBaseStream {
public:
    // All bytes written.
    virtual bool Write(const void *bytes, std::int32_t count) = 0;
    // The new position, or -1 when refused.
    virtual std::int64_t Seek(std::int64_t position) = 0;
    virtual std::int64_t Position() = 0;
    // The position just after the last write.
    virtual std::int64_t Size() = 0;
    // Bytes read (fewer at the end of the data), or -1.
    virtual std::int32_t Read(void *buffer, std::int32_t count) = 0;

protected:
    ~MBaseStream() = default;
};

// How many bytes a record may still claim: what lies between the position and the end of
// the data. Readers check claimed lengths against it before they take memory.
inline std::int64_t StreamRemaining(MBaseStream &stream)
{
    const std::int64_t left = stream.Size() - stream.Position();
    return left > 0 ? left : 0;
}

class MStream final : public MBaseStream {
public:
    static constexpr std::int32_t kGrowthStep = 4096;
    static constexpr std::int32_t kMinCompressed = 200;       // smaller contents stay plain
    static constexpr std::uint32_t kMaxPayload = 2000000000;  // largest S a compressed block may claim
    static constexpr std::uint16_t kPlain = 4321;
    static constexpr std::uint16_t kCompressed = 1234;

    MStream();
    MStream(const MStream &) = delete;
    MStream &operator=(const MStream &) = delete;
    ~MStream();

    bool Write(const void *bytes, std::int32_t count) override;
    std::int64_t Seek(std::int64_t position) override;
    std::int64_t Position() override { return position_; }
    std::int64_t Size() override { return writeEnd_; }
    std::int32_t Read(void *buffer, std::int32_t count) override;

    // -1 failure, 0 left plain, otherwise the new position (8 + compressed length).
    std::int32_t Compress();
    // -1 failure, otherwise the new position (the payload length).
    std::int32_t Decompress();

    // Writes the header word and the content to an open descriptor (-1 = no file).
    bool SaveToFile(int fd, bool compress);
    // Reads the header word and the body from an open descriptor; the position ends at 0.
    bool LoadFromFile(int fd, bool decompress);

    bool CanCompress() const { return canCompress_; }
    bool IsCompressed() const { return state_ == kCompressed; }
    std::int32_t Limit() const { return limit_; }
    const unsigned char *Data() const { return data_; }

private:
    bool Grow(std::int64_t end);
    bool FillFromFile(int fd, std::int64_t count);

    CCritSection lock_;
    unsigned char *data_ = nullptr;
    ArrayT<unsigned char, unsigned char *, 1> buffer_;
    std::int32_t limit_ = 0;
    std::int32_t position_ = 0;
    std::int32_t writeEnd_ = 0;
    bool canCompress_ = false;
    std::uint16_t state_ = kPlain;
};
