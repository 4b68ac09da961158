#include "device/ValueCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cmath>
#include <limits>
#include <string>

namespace {

void PutLE(uint8_t *out, uint64_t value, unsigned bytes)
{
    for (unsigned i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLE(const uint8_t *in, unsigned bytes)
{
    uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i)
        value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
}

// Bytes a read of this type decodes; 0 for the variable-length types.
unsigned DecodedSize(uint32_t type)
{
    switch (type) {
    case mbtBool:
    case mbtUShort:
    case mbtShort:
        return 2;
    case mbtUInt:
    case mbtInt:
    case mbtFloat:
        return 4;
    case mbtInt64:
    case mbtDouble:
        return 8;
    default:
        return 0;
    }
}

int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// A complete decimal number ("-1.2345678", "1e-7", "14,4") parsed straight to the type,
// correctly rounded: the lenient ToReal sums digit weights and can miss the nearest float
// by a unit, so the shortest text of a float would not give back its bits. False for
// anything else, which then takes the lenient way. A '+' before the sign ("+-1") has
// always been skipped here; the lenient way would read 0.
template <typename T> bool ParseExact(const MString &text, T *out)
{
    NumberRules rules;
    rules.PlusBeforeSign = true;
    return ParseCompleteNumber(text.View(), out, rules);
}

MString HexText(const uint8_t *data, int n)
{
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    MString text;
    for (int i = 0; i < n; ++i) {
        text.Append(kHex[data[i] >> 4]);
        text.Append(kHex[data[i] & 15]);
        text.Append(u' ');
    }
    return text;
}

}  // namespace

int EncodeValue(const MString &text, uint32_t type, uint8_t *out, std::size_t capacity)
{
    switch (type) {
    case mbtBool:
        PutLE(out, text.Equals(u"false") || text.Equals(u"0") ? 0x0000 : 0xFF00, 2);
        return 2;
    case mbtUShort:
    case mbtShort:
        PutLE(out, static_cast<uint64_t>(text.ToInt()), 2);
        return 2;
    case mbtUInt:
    case mbtInt:
        PutLE(out, static_cast<uint64_t>(text.ToInt()), 4);
        return 4;
    case mbtInt64:
        PutLE(out, static_cast<uint64_t>(text.ToInt()), 8);
        return 8;
    case mbtFloat: {
        if (float exact = 0; ParseExact(text, &exact)) {
            PutLE(out, std::bit_cast<uint32_t>(exact), 4);
            return 4;
        }
        const double value = text.ToReal();
        // Narrowing an out-of-range double is undefined; it is the overflow that the
        // conversion message is for.
        if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
            return -1;
        PutLE(out, std::bit_cast<uint32_t>(static_cast<float>(value)), 4);
        return 4;
    }
    case mbtDouble: {
        if (double exact = 0; ParseExact(text, &exact)) {
            PutLE(out, std::bit_cast<uint64_t>(exact), 8);
            return 8;
        }
        const double value = text.ToReal();
        if (!std::isfinite(value))
            return -1;
        PutLE(out, std::bit_cast<uint64_t>(value), 8);
        return 8;
    }
    case mbtAscii: {
        // One byte per character in the ANSI code page, then two zero bytes.
        const uint32_t length = text.Length();
        if (length + 2 > capacity)
            return -1;
        const char *ansi = text.ToAnsi(0);
        // A character that converts to nothing must not make us read past the result.
        bool ended = false;
        for (uint32_t i = 0; i < length; ++i) {
            ended = ended || ansi[i] == 0;
            out[i] = ended ? 0 : static_cast<uint8_t>(ansi[i]);
        }
        out[length] = 0;
        out[length + 1] = 0;
        return static_cast<int>(length + 2);
    }
    case mbtBinary: {
        // Upper-case hex digits in pairs; everything else separates or is ignored.
        int count = 0;
        int high = -1;
        for (char16_t c : text.View()) {
            const int digit = HexDigit(c);
            if (digit < 0)
                continue;
            if (high < 0) {
                high = digit;
                continue;
            }
            if (static_cast<std::size_t>(count) == capacity)
                return -1;
            out[count++] = static_cast<uint8_t>(high * 16 + digit);
            high = -1;
        }
        return count;
    }
    default:
        return 0;
    }
}

bool DecodeValue(const uint8_t *data, int n, uint32_t type, MString &value)
{
    // A reply shorter than the type (a 2-register value answered with 1 register)
    // leaves the previous text: decoding it would invent the missing bytes.
    const unsigned size = DecodedSize(type);
    if (size != 0 && n < static_cast<int>(size))
        return false;
    switch (type) {
    case mbtBool:
        value = MString(GetLE(data, 2) != 0 ? u"true" : u"false");
        return true;
    case mbtUShort:
        value = MString::FromInt(static_cast<uint16_t>(GetLE(data, 2)));
        return true;
    case mbtShort:
        value = MString::FromInt(static_cast<int16_t>(GetLE(data, 2)));
        return true;
    case mbtUInt:
        value = MString::FromInt(static_cast<uint32_t>(GetLE(data, 4)));
        return true;
    case mbtInt:
        value = MString::FromInt(static_cast<int32_t>(GetLE(data, 4)));
        return true;
    case mbtFloat: {
        value = MString::FromReal(std::bit_cast<float>(static_cast<uint32_t>(GetLE(data, 4))), 10, 5);
        return true;
    }
    case mbtInt64:
        value = MString::FromInt(static_cast<int64_t>(GetLE(data, 8)));
        return true;
    case mbtDouble: {
        value = MString::FromReal(std::bit_cast<double>(GetLE(data, 8)), 10, 5);
        return true;
    }
    case mbtAscii: {
        std::string bytes;
        for (int i = 0; i < n && data[i] != 0; ++i)
            bytes.push_back(static_cast<char>(data[i]));
        value = MString(bytes.c_str());
        return true;
    }
    case mbtBinary:
        value = HexText(data, n);
        return true;
    default:
        return false;
    }
}

bool DecodeRegisters(const uint8_t *data, int n, ModbusAction *variable)
{
    MString value;
    if (!DecodeValue(data, n, variable->Type, value))
        return false;
    variable->Value = value;
    variable->RawCount = static_cast<uint8_t>(std::min<int>(n, sizeof variable->Raw));
    std::memcpy(variable->Raw, data, variable->RawCount);
    return true;
}
