// MVariant: a tagged value (Empty, Int, Real, Text, Blob, CompactInt) that types text by its
// content when assigned, compares across types and writes itself as a tagged record.
#pragma once

#include <cstdint>
#include <variant>

#include "values/MBlob.h"
#include "values/MCompactInt.h"
#include "values/MString.h"

class MBaseStream;

class MVariant {
public:
    enum Tag : std::uint32_t { Empty = 0, Int = 1, Real = 2, Text = 3, Blob = 4, CompactInt = 5 };

    MVariant() = default;
    explicit MVariant(const MString &text) : tag_(Text), payload_(text) {}
    explicit MVariant(std::int32_t value) : tag_(Int), payload_(value) {}
    explicit MVariant(double value) : tag_(Real), payload_(value) {}
    explicit MVariant(const MBlob &blob) : tag_(Blob), payload_(blob) {}
    explicit MVariant(const MCompactInt &value) : tag_(CompactInt), payload_(value) {}
    MVariant(const MVariant &other) = default;
    MVariant(MVariant &&other) noexcept = default;
    MVariant &operator=(const MVariant &other) = default;
    MVariant &operator=(MVariant &&other) noexcept = default;

    // The stored tag; a tag other than the six only comes from a file and has no payload.
    std::uint32_t GetTag() const { return tag_; }
    bool HasPayload() const { return !std::holds_alternative<std::monostate>(payload_); }
    // The tag that counts: Empty whenever there is no payload.
    std::uint32_t EffectiveTag() const { return HasPayload() ? tag_ : Empty; }

    std::uint32_t NaturalType() const;
    // Becomes a copy of other converted to other's natural type.
    void Assign(const MVariant &other);

    std::int32_t ToInt() const;
    double ToReal() const;
    MString ToText() const;
    MCompactInt ToCompact() const;

    bool Equals(const MVariant &other) const;
    bool Less(const MVariant &other) const;
    bool Greater(const MVariant &other) const;

    bool WriteTo(MBaseStream &stream) const;
    bool ReadFrom(MBaseStream &stream);

    // The Blob payload, or null.
    const MBlob *BlobValue() const { return std::get_if<MBlob>(&payload_); }

private:
    std::int64_t ToInt64() const;
    int CompareAs(const MVariant &other, std::uint32_t type, bool &comparable) const;

    std::uint32_t tag_ = Empty;
    std::variant<std::monostate, std::int32_t, double, MString, MBlob, MCompactInt> payload_;
};
