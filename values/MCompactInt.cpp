#include "values/MCompactInt.h"

#include <cstddef>

#include "values/MStream.h"

void MCompactInt::SetValue(std::int64_t value, int width)
{
    negative_ = value < 0;
    // Two's complement negation in unsigned arithmetic gives 2^63 for the most negative value.
    std::uint64_t magnitude = negative_ ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    magnitude_.clear();
    for (int i = 0; i < width && magnitude != 0; ++i) {
        magnitude_.push_back(static_cast<std::uint8_t>(magnitude));
        magnitude >>= 8;
    }
}

std::int32_t MCompactInt::ToInt32() const
{
    if (magnitude_.empty())
        return 0;
    std::uint32_t value = 0x7FFFFFFF;
    if (magnitude_.size() <= 4) {
        value = 0;
        for (std::size_t i = magnitude_.size(); i-- > 0;)
            value = value << 8 | magnitude_[i];
    }
    return static_cast<std::int32_t>(negative_ ? 0 - value : value);
}

std::int64_t MCompactInt::ToInt64() const
{
    if (magnitude_.empty())
        return 0;
    std::uint64_t value = 0x7FFFFFFFFFFFFFFF;
    if (magnitude_.size() <= 8) {
        value = 0;
        for (std::size_t i = magnitude_.size(); i-- > 0;)
            value = value << 8 | magnitude_[i];
    }
    return static_cast<std::int64_t>(negative_ ? 0 - value : value);
}

MString MCompactInt::ToText() const
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    MString text(negative_ ? u"-0x" : u"0x");
    if (magnitude_.empty())
        text.Append(u'0');
    for (std::uint8_t byte : magnitude_) {
        text.Append(digits[byte >> 4]);
        text.Append(digits[byte & 15]);
    }
    return text;
}

bool MCompactInt::Equals(const MCompactInt &other) const
{
    return negative_ == other.negative_ && magnitude_ == other.magnitude_;
}

int MCompactInt::CompareMagnitude(const MCompactInt &other) const
{
    if (magnitude_.size() != other.magnitude_.size())
        return magnitude_.size() < other.magnitude_.size() ? -1 : 1;
    for (std::size_t i = magnitude_.size(); i-- > 0;) {
        if (magnitude_[i] != other.magnitude_[i])
            return magnitude_[i] < other.magnitude_[i] ? -1 : 1;
    }
    return 0;
}

bool MCompactInt::Less(const MCompactInt &other) const
{
    if (negative_ != other.negative_)
        return negative_;
    const int order = CompareMagnitude(other);
    return negative_ ? order > 0 : order < 0;
}

bool MCompactInt::WriteTo(MBaseStream &stream) const
{
    std::uint8_t record[1 + 32] = {};
    std::size_t bodyLength = 0;
    const std::size_t n = magnitude_.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t next = i + 1 < n ? magnitude_[i + 1] : 0;
        record[1 + i] = static_cast<std::uint8_t>(magnitude_[i] >> 2 | next << 6);
        if (record[1 + i] != 0)
            bodyLength = i + 1;
    }
    std::uint8_t header = static_cast<std::uint8_t>(bodyLength * 8);
    if (negative_ && n > 0)
        header |= 4;
    if (n > 0)
        header |= magnitude_[0] & 3;
    record[0] = header;
    return stream.Write(record, static_cast<std::int32_t>(1 + bodyLength));
}

bool MCompactInt::ReadFrom(MBaseStream &stream)
{
    std::uint8_t header = 0;
    std::uint8_t body[31] = {};
    magnitude_.clear();
    negative_ = false;
    if (stream.Read(&header, 1) != 1)
        return false;
    const std::size_t bodyLength = header >> 3;
    if (bodyLength > 0 &&
        stream.Read(body, static_cast<std::int32_t>(bodyLength)) != static_cast<std::int32_t>(bodyLength))
        return false;
    if (bodyLength == 0) {
        magnitude_.push_back(header & 3);
    } else {
        magnitude_.push_back(static_cast<std::uint8_t>((header & 3) | body[0] << 2));
        for (std::size_t i = 1; i < bodyLength; ++i)
            magnitude_.push_back(static_cast<std::uint8_t>(body[i - 1] >> 6 | body[i] << 2));
        magnitude_.push_back(body[bodyLength - 1] >> 6);
    }
    // A hand-made record may end in zero body bytes; keep the magnitude free of high zeros so
    // that equal values compare equal, and never leave a negative zero.
    while (!magnitude_.empty() && magnitude_.back() == 0)
        magnitude_.pop_back();
    negative_ = (header & 4) != 0 && !magnitude_.empty();
    return true;
}
