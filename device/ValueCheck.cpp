#include "device/ValueCheck.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <cstdint>
#include <string>

namespace {

// The text in UTF-8 without the spaces and tabs around it.
std::string Trimmed(const MString &text)
{
    const std::string t = text.ToUtf8();
    const size_t b = t.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return t.substr(b, t.find_last_not_of(" \t") - b + 1);
}

// A decimal number written out in full: sign, digits with at most one point or comma,
// and an exponent with its digits. "1e" or "2." + "e5" cut short are not numbers here,
// though the lenient reader would take their first part.
bool CompleteNumber(const MString &text)
{
    const std::string t = Trimmed(text);
    if (t.empty())
        return false;
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-')
        ++i;
    size_t digits = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        if (t[i] >= '0' && t[i] <= '9')
            ++digits;
        else if ((t[i] == '.' || t[i] == ',') && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        size_t expDigits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    return i == t.size();
}

// The integer an integer text stands for, or false when it does not fit 64 bits. The
// encoder's ToInt keeps only the low 64 bits of a longer number, so 2^64 + 1 would pass
// a range check as 1 and be written as 1.
bool IntegerValue(const MString &text, int64_t *value)
{
    const std::string t = Trimmed(text);
    if (t.empty())
        return false;
    size_t i = 0;
    const bool negative = t[i] == '-';
    if (t[i] == '-' || t[i] == '+')
        ++i;
    int base = 10;
    if (t.size() - i > 2 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    uint64_t magnitude = 0;
    const char *end = t.data() + t.size();
    const auto [stop, ec] = std::from_chars(t.data() + i, end, magnitude, base);
    if (ec != std::errc() || stop != end)
        return false;
    if (magnitude > (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX)))
        return false;
    *value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return *value == text.ToInt();  // what the encoder will send
}

}  // namespace

bool ValueFits(const ModbusAction &v, const MString &text, std::string *why)
{
    auto integerIn = [&](int64_t lo, int64_t hi) {
        if (!text.IsInteger(true)) {
            *why = "is not an integer";
            return false;
        }
        int64_t x = 0;
        if (!IntegerValue(text, &x) || x < lo || x > hi) {
            *why = "is out of range " + std::to_string(lo) + ".." + std::to_string(hi);
            return false;
        }
        return true;
    };
    switch (v.Type) {
    case mbtBool:
        if (text.Equals(u"true") || text.Equals(u"false") || text.Equals(u"0") || text.Equals(u"1"))
            return true;
        *why = "is not true, false, 0 or 1";
        return false;
    case mbtUShort: return integerIn(0, 65535);
    case mbtShort: return integerIn(-32768, 32767);
    case mbtUInt: return integerIn(0, 4294967295LL);
    case mbtInt: return integerIn(-2147483648LL, 2147483647LL);
    case mbtInt64: return integerIn(INT64_MIN, INT64_MAX);
    case mbtFloat:
    case mbtDouble: {
        if (!text.IsNumber() || !CompleteNumber(text)) {
            *why = "is not a number";
            return false;
        }
        // The encoder refuses these too, but only once the device is being written.
        const double x = text.ToReal();
        const double limit = v.Type == mbtFloat ? std::numeric_limits<float>::max() : std::numeric_limits<double>::max();
        if (!std::isfinite(x) || std::fabs(x) > limit) {
            *why = v.Type == mbtFloat ? "is beyond the range of a 32-bit float" : "is beyond the range of a double";
            return false;
        }
        return true;
    }
    default:
        return true;  // texts and byte strings: the encoder has the last word
    }
}
