// MCompactInt: a sign-magnitude integer with a short self-sizing record (a header byte and
// up to 31 body bytes), carried by CompactInt variants.
#pragma once

#include <cstdint>
#include <vector>

#include "values/MString.h"

class MBaseStream;

class MCompactInt {
public:
    MCompactInt() = default;
    MCompactInt(std::int32_t value) { SetValue(value, 4); }
    MCompactInt(std::int64_t value) { SetValue(value, 8); }

    std::int32_t ToInt32() const;
    std::int64_t ToInt64() const;
    MString ToText() const;

    bool Equals(const MCompactInt &other) const;
    bool Less(const MCompactInt &other) const;
    bool Greater(const MCompactInt &other) const { return other.Less(*this); }

    bool WriteTo(MBaseStream &stream) const;
    bool ReadFrom(MBaseStream &stream);

    bool IsNegative() const { return negative_; }
    // Least significant byte first, no high zero bytes; empty for zero.
    const std::vector<std::uint8_t> &Magnitude() const { return magnitude_; }

private:
    void SetValue(std::int64_t value, int width);
    int CompareMagnitude(const MCompactInt &other) const;

    std::vector<std::uint8_t> magnitude_;
    bool negative_ = false;
};
