#include "values/MVariant.h"

#include <cmath>
#include <cstring>

#include "values/MStream.h"

namespace {

// Reads a record into a fresh object; the payload changes only when the whole record came.
template <class T, class Payload> bool ReadRecord(MBaseStream &stream, Payload &payload)
{
    T value;
    if (!value.ReadFrom(stream))
        return false;
    payload = std::move(value);
    return true;
}

enum class Order { Less, Equal, Greater, None };

template <class T> Order OrderOf(const T &a, const T &b)
{
    return a < b ? Order::Less : b < a ? Order::Greater : Order::Equal;
}

Order OrderOfReals(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return Order::None;
    return OrderOf(a, b);
}

Order OrderOfTexts(const MString &a, const MString &b)
{
    const int c = a.Compare(b);
    return c < 0 ? Order::Less : c > 0 ? Order::Greater : Order::Equal;
}

Order OrderOfCompacts(const MCompactInt &a, const MCompactInt &b)
{
    return a.Equals(b) ? Order::Equal : a.Less(b) ? Order::Less : Order::Greater;
}

// Blobs order by content: an empty blob first, then by used length, then by bytes. Any fixed
// order would do for comparing, but one that follows the bytes also keeps a sorted tree's
// order the same when it is saved and loaded again, which addresses do not.
Order OrderOfBlobs(const MBlob &a, const MBlob &b)
{
    if (a.Equals(b))
        return Order::Equal;
    if (a.IsEmpty() != b.IsEmpty())
        return a.IsEmpty() ? Order::Less : Order::Greater;
    if (a.Used() != b.Used())
        return a.Used() < b.Used() ? Order::Less : Order::Greater;
    const int c = std::memcmp(a.Bytes(), b.Bytes(), static_cast<std::size_t>(a.Used()));
    return c < 0 ? Order::Less : Order::Greater;
}

// Truncation toward zero to 64 bits; values beyond the range saturate instead of being
// undefined, and not-a-number gives 0.
std::int64_t TruncToInt64(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775808.0)
        return INT64_MAX;
    if (value < -9223372036854775808.0)
        return INT64_MIN;
    return static_cast<std::int64_t>(value);
}

std::int32_t Low32(std::int64_t value)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// True when the integer text's value is a signed 32-bit number. The lenient parse wraps
// at 64 bits, so a text with more digits than 64 bits can hold would otherwise alias a
// small number (2^64 + 1 would read as 1).
bool IntegerTextFitsInt32(const MString &text)
{
    const std::int64_t value = text.ToInt();
    if (value < INT32_MIN || value > INT32_MAX)
        return false;
    std::u16string_view v = text.View();
    bool hex = false;
    std::size_t digits = 0;
    bool leading = true;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const char16_t c = v[i];
        if (c == u'0' && i + 1 < v.size() && (v[i + 1] == u'x' || v[i + 1] == u'X') && digits == 0) {
            hex = true;
            ++i;
            continue;
        }
        const bool digit = (c >= u'0' && c <= u'9') || (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
        if (!digit)
            continue;
        if (leading && c == u'0')
            continue;
        leading = false;
        ++digits;
    }
    return digits <= (hex ? 8u : 10u);
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

}  // namespace

std::uint32_t MVariant::NaturalType() const
{
    switch (EffectiveTag()) {
    case Empty:
    case Int:
    case Blob:
        return EffectiveTag();
    case Text: {
        const MString &text = std::get<MString>(payload_);
        if (text.IsInteger(true) && IntegerTextFitsInt32(text))
            return Int;
        return text.IsNumber() ? Real : Text;
    }
    case Real: {
        const double value = std::get<double>(payload_);
        if (value >= -2147483648.0 && value <= 2147483647.0 && std::trunc(value) == value)
            return Int;
        return Real;  // not-a-number fails the range test and stays here
    }
    case CompactInt: {
        const std::size_t bytes = std::get<MCompactInt>(payload_).Magnitude().size();
        return bytes < 4 ? Int : bytes < 8 ? Real : CompactInt;
    }
    default:
        return Empty;
    }
}

void MVariant::Assign(const MVariant &other)
{
    if (&other == this)
        return;
    const std::uint32_t source = other.EffectiveTag();
    const std::uint32_t tag = (source == Real || source == Text || source == CompactInt) ? other.NaturalType() : source;
    decltype(payload_) payload;
    switch (tag) {
    case Text:
        payload = std::get<MString>(other.payload_);
        break;
    case Real:
        payload = other.ToReal();
        break;
    case Int:
        payload = other.ToInt();
        break;
    case CompactInt:
        payload = other.ToCompact();
        break;
    case Blob:
        payload = MBlob(std::get<MBlob>(other.payload_));
        break;
    default:
        break;
    }
    tag_ = tag;
    payload_ = std::move(payload);
}

std::int64_t MVariant::ToInt64() const
{
    switch (EffectiveTag()) {
    case Int:
        return std::get<std::int32_t>(payload_);
    case Real:
        return TruncToInt64(std::get<double>(payload_));
    case Text:
        return std::get<MString>(payload_).ToInt();
    case CompactInt:
        return std::get<MCompactInt>(payload_).ToInt32();
    default:
        return 0;
    }
}

std::int32_t MVariant::ToInt() const
{
    return Low32(ToInt64());
}

double MVariant::ToReal() const
{
    switch (EffectiveTag()) {
    case Int:
        return std::get<std::int32_t>(payload_);
    case Real:
        return std::get<double>(payload_);
    case Text:
        return std::get<MString>(payload_).ToReal();
    case CompactInt:
        return static_cast<double>(std::get<MCompactInt>(payload_).ToInt64());
    default:
        return 0.0;
    }
}

MString MVariant::ToText() const
{
    switch (EffectiveTag()) {
    case Int:
        return MString::FromInt(std::get<std::int32_t>(payload_));
    case Real:
        return MString::FromReal(std::get<double>(payload_), 10, 5);
    case Text:
        return std::get<MString>(payload_);
    case CompactInt:
        return std::get<MCompactInt>(payload_).ToText();
    case Blob:
        return MString(u"BLOB");
    default:
        return MString();
    }
}

MCompactInt MVariant::ToCompact() const
{
    switch (EffectiveTag()) {
    case Int:
        return MCompactInt(std::get<std::int32_t>(payload_));
    case Real:
        return MCompactInt(TruncToInt64(std::get<double>(payload_)));
    case Text:
        return MCompactInt(TruncToInt64(std::get<MString>(payload_).ToReal()));
    case CompactInt:
        return std::get<MCompactInt>(payload_);
    default:
        return MCompactInt();
    }
}

namespace {

// Compares a and b both converted to one of the value types; false for Blob, Empty and
// other tags, which the caller decides.
bool CompareConverted(std::uint32_t type, const MVariant &a, const MVariant &b, Order *order)
{
    switch (type) {
    case MVariant::Int:
        *order = OrderOf(a.ToInt(), b.ToInt());
        return true;
    case MVariant::Real:
        *order = OrderOfReals(a.ToReal(), b.ToReal());
        return true;
    case MVariant::Text:
        *order = OrderOfTexts(a.ToText(), b.ToText());
        return true;
    case MVariant::CompactInt:
        *order = OrderOfCompacts(a.ToCompact(), b.ToCompact());
        return true;
    default:
        return false;
    }
}

Order CompareVariants(const MVariant &a, const MVariant &b)
{
    Order order;
    const std::uint32_t ta = a.EffectiveTag();
    const std::uint32_t tb = b.EffectiveTag();
    if (ta == tb) {
        if (CompareConverted(ta, a, b, &order))
            return order;
        if (ta == MVariant::Blob)
            return OrderOfBlobs(*a.BlobValue(), *b.BlobValue());
        return Order::Equal;
    }
    const std::uint32_t na = a.NaturalType();
    const std::uint32_t nb = b.NaturalType();
    const std::uint32_t common = na > nb ? na : nb;
    if (CompareConverted(common, a, b, &order))
        return order;
    if (common == MVariant::Blob)
        return ta < tb ? Order::Less : Order::Greater;  // different tags: never equal; by tag, to stay fixed
    return Order::None;
}

}  // namespace

bool MVariant::Equals(const MVariant &other) const
{
    return CompareVariants(*this, other) == Order::Equal;
}
bool MVariant::Less(const MVariant &other) const
{
    return CompareVariants(*this, other) == Order::Less;
}
bool MVariant::Greater(const MVariant &other) const
{
    return CompareVariants(*this, other) == Order::Greater;
}

bool MVariant::WriteTo(MBaseStream &stream) const
{
    const std::uint32_t tag = EffectiveTag();
    unsigned char word[8];
    PutLe32(word, tag);
    if (!stream.Write(word, 4))
        return false;
    switch (tag) {
    case Int:
        PutLe32(word, static_cast<std::uint32_t>(std::get<std::int32_t>(payload_)));
        return stream.Write(word, 4);
    case Real: {
        std::uint64_t bits;
        const double value = std::get<double>(payload_);
        std::memcpy(&bits, &value, 8);
        PutLe32(word, static_cast<std::uint32_t>(bits));
        PutLe32(word + 4, static_cast<std::uint32_t>(bits >> 32));
        return stream.Write(word, 8);
    }
    case Text:
        return std::get<MString>(payload_).WriteTo(stream);
    case Blob:
        return std::get<MBlob>(payload_).WriteTo(stream);
    case CompactInt:
        return std::get<MCompactInt>(payload_).WriteTo(stream);
    default:
        return true;
    }
}

bool MVariant::ReadFrom(MBaseStream &stream)
{
    payload_ = std::monostate{};
    tag_ = Empty;
    unsigned char word[8];
    if (stream.Read(word, 4) != 4)
        return false;
    tag_ = GetLe32(word);
    switch (tag_) {
    case Int:
        if (stream.Read(word, 4) != 4)
            return false;
        payload_ = static_cast<std::int32_t>(GetLe32(word));
        return true;
    case Real: {
        if (stream.Read(word, 8) != 8)
            return false;
        const std::uint64_t bits = GetLe32(word) | std::uint64_t(GetLe32(word + 4)) << 32;
        double value;
        std::memcpy(&value, &bits, 8);
        payload_ = value;
        return true;
    }
    case Text:
        return ReadRecord<MString>(stream, payload_);
    case Blob:
        return ReadRecord<MBlob>(stream, payload_);
    case CompactInt:
        return ReadRecord<MCompactInt>(stream, payload_);
    default:
        return true;
    }
}
