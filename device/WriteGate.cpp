#include "device/WriteGate.h"

#include "device/PrintableText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <unordered_map>

namespace {

constexpr double kFloatMax = std::numeric_limits<float>::max();

// The rates the device's RS-485 port offers.
constexpr double kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

constexpr WriteLimits Flag(bool command = false)
{
    WriteLimits l;
    l.Type = mbtUShort;
    l.Integer = true;
    l.Min = 0;
    l.Max = 1;
    l.Step = 1;
    l.Command = command;
    return l;
}

constexpr WriteLimits IntegerRange(uint32_t type, double lo, double hi, const char *unit = "")
{
    WriteLimits l;
    l.Type = type;
    l.Integer = true;
    l.Min = lo;
    l.Max = hi;
    l.Step = 1;
    l.Unit = unit;
    return l;
}

constexpr WriteLimits FloatRange(double lo, double hi, double step, const char *unit)
{
    WriteLimits l;
    l.Type = mbtFloat;
    l.Min = lo;
    l.Max = hi;
    l.Step = step;
    l.Unit = unit;
    return l;
}

// The type's own range, for a writable variable the device gives no tighter rule.
WriteLimits TypeRange(uint32_t type)
{
    switch (type) {
    case mbtBool: {
        WriteLimits l = Flag();
        l.Type = type;
        return l;
    }
    case mbtUShort:
        return IntegerRange(type, 0, 65535);
    case mbtShort:
        return IntegerRange(type, -32768, 32767);
    case mbtUInt:
        return IntegerRange(type, 0, 4294967295.0);
    case mbtInt:
        return IntegerRange(type, -2147483648.0, 2147483647.0);
    case mbtInt64:
        return IntegerRange(type, -9223372036854775808.0, 9223372036854775807.0);
    case mbtFloat:
        return FloatRange(-kFloatMax, kFloatMax, 0, "");
    case mbtDouble:
        return FloatRange(-std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), 0, "");
    default: {
        WriteLimits l;
        l.Type = type;
        return l;
    }
    }
}

// Variables whose real limits are tighter than their type's. Voltages: the device charges
// 12 and 24 V batteries and works as a supply up to 33 V; 100 V leaves room for any
// battery bank it may meet while refusing typing slips like 1000. Currents likewise.
const std::unordered_map<std::u16string_view, WriteLimits> &Table()
{
    static const std::unordered_map<std::u16string_view, WriteLimits> table = [] {
        std::unordered_map<std::u16string_view, WriteLimits> t;
        t[u"Mb.MyModbusAddr"] = IntegerRange(mbtUShort, 1, 247);
        WriteLimits baud = IntegerRange(mbtUInt, kBaudRates[0], kBaudRates[std::size(kBaudRates) - 1], "Bd");
        baud.Options = kBaudRates;
        baud.Step = 0;
        t[u"485.Init.BaudRate"] = baud;
        t[u"ResetConfigToDefaults"] = Flag(true);
        t[u"SaveConfigToRomNow"] = Flag(true);
        t[u"Extremes.bReset"] = Flag(true);
        t[u"Reg.bModeCharger"] = Flag();
        t[u"Reg.bForceLoadOff"] = Flag();
        t[u"Reg.bNightLightMode"] = Flag();
        t[u"Reg.ChargeMinU"] = FloatRange(0, 100, 0.1, "V");
        t[u"Reg.ChargeMaxU"] = FloatRange(0, 100, 0.1, "V");
        t[u"Reg.LoadOffU"] = FloatRange(0, 100, 0.1, "V");
        t[u"Reg.LoadOnU"] = FloatRange(0, 100, 0.1, "V");
        t[u"Reg.ChargeI"] = FloatRange(0, 100, 0.1, "A");
        t[u"Reg.VoltTempCoef"] = FloatRange(-100, 100, 0.01, "mV/(V*C)");
        t[u"Reg.TrainingCycleCount"] = IntegerRange(mbtUShort, 0, 65535);
        // Counters count up from 0; writing 0 starts them again.
        for (const char16_t *n :
             {u"Adc.EnergyAccuCharge", u"Adc.EnergyAccuDischarge", u"Adc.EnergySolar", u"Adc.EnergyLoad"})
            t[n] = FloatRange(0, kFloatMax, 0, "Wh");
        static const char16_t *const kDo[][2] = {{u"Do1.State", u"Do1.Mode"},
                                                 {u"Do2.State", u"Do2.Mode"},
                                                 {u"Do3.State", u"Do3.Mode"},
                                                 {u"Do4.State", u"Do4.Mode"}};
        for (const auto &d : kDo) {
            t[d[0]] = Flag();
            t[d[1]] = IntegerRange(mbtUShort, 0, 5);
        }
        static const char16_t *const kCalCommands[] = {
            u"Cal_I_Solar.CalibrateZeroMode",       u"Cal_I_Solar.CalibrateOnValueMode",
            u"Cal_U_Solar.CalibrateZeroMode",       u"Cal_U_Solar.CalibrateOnValueMode",
            u"Cal_I_Accu.CalibrateZeroMode",        u"Cal_I_Accu.CalibrateOnValueMode",
            u"Cal_U_Accu.CalibrateZeroMode",        u"Cal_U_Accu.CalibrateOnValueMode",
            u"Cal_I_Load.CalibrateZeroMode",        u"Cal_I_Load.CalibrateOnValueMode",
            u"Cal_Temp_External.CalibrateZeroMode", u"Cal_Temp_External.CalibrateOnValueMode",
            u"Cal_UserAdcV1.CalibrateZeroMode",     u"Cal_UserAdcV1.CalibrateOnValueMode",
            u"Cal_UserAdcV2.CalibrateZeroMode",     u"Cal_UserAdcV2.CalibrateOnValueMode"};
        for (const char16_t *n : kCalCommands)
            t[n] = Flag(true);
        return t;
    }();
    return table;
}

// The text in UTF-8 without the spaces and tabs around it.
std::string Trimmed(const MString &text)
{
    const std::string t = text.ToUtf8();
    const size_t b = t.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return t.substr(b, t.find_last_not_of(" \t") - b + 1);
}

// The integer an integer text stands for, decimal or 0x hexadecimal; false when it is
// not one or does not fit 64 bits (the encoder would keep only the low bits of a longer one).
bool IntegerValue(const std::string &t, const MString &text, int64_t *value)
{
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
    if (i >= t.size())
        return false;
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

std::string Number(double x)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", x);
    return buf;
}

}  // namespace

const WriteLimits *WriteLimitsOf(std::u16string_view name, uint32_t type, uint32_t access)
{
    if ((access & mbaWrite) == 0)
        return nullptr;
    const auto &table = Table();
    if (auto it = table.find(name); it != table.end() && it->second.Type == type)
        return &it->second;
    // Types are few: one range for each, kept for the process's life.
    static const auto ranges = [] {
        std::unordered_map<uint32_t, WriteLimits> r;
        for (uint32_t t = mbtBool; t <= mbtBinary; ++t)
            r[t] = TypeRange(t);
        return r;
    }();
    auto it = ranges.find(type);
    return it != ranges.end() ? &it->second : nullptr;
}

WriteCheck CheckWrite(const ModbusAction &v, const MString &text)
{
    WriteCheck c;
    c.Name = v.Name.ToUtf8();
    const std::string t = Trimmed(text);
    c.Value = Printable(t);
    const WriteLimits *limits = WriteLimitsOf(v);
    if (limits == nullptr) {
        c.Fault = WriteFault::ReadOnly;
        return c;
    }
    c.Limits = *limits;
    auto refuse = [&](WriteFault f) {
        c.Fault = f;
        return c;
    };
    switch (limits->Type) {
    case mbtAscii:
    case mbtBinary:
        return c;  // texts and byte strings: the encoder checks their length
    case mbtBool:
        if (t == "true" || t == "false")
            return c;
        break;
    default:
        break;
    }
    double x = 0;
    if (limits->Integer) {
        int64_t n = 0;
        if (!IntegerValue(t, text, &n)) {
            if (!IsCompleteNumber(t))
                return refuse(WriteFault::NotANumber);
            // A whole number too long for 64 bits is out of range; "1.5" is not whole.
            const bool whole = t.find_first_not_of("+-0123456789") == std::string::npos;
            return refuse(whole ? WriteFault::OutOfRange : WriteFault::NotAnInteger);
        }
        x = static_cast<double>(n);
    } else {
        if (!IsCompleteNumber(t) || !text.IsNumber())
            return refuse(WriteFault::NotANumber);
        x = text.ToReal();
        if (!std::isfinite(x))
            return refuse(WriteFault::OutOfRange);  // beyond even a double
        // A non-zero value below the smallest normal number means nothing a device can
        // act on: as a float it is 0 or a subnormal that firmware may flush to 0.
        const double smallest =
            limits->Type == mbtFloat ? std::numeric_limits<float>::min() : std::numeric_limits<double>::min();
        if (x != 0 && std::fabs(x) < smallest)
            return refuse(WriteFault::NotRepresentable);
        if (x == 0 && std::signbit(x))
            c.Normalized = "0";
    }
    if (!limits->Options.empty()) {
        if (std::find(limits->Options.begin(), limits->Options.end(), x) == limits->Options.end())
            return refuse(WriteFault::NotAnOption);
        return c;
    }
    if (x < limits->Min || x > limits->Max)
        return refuse(WriteFault::OutOfRange);
    if (limits->Type == mbtFloat && !std::isfinite(static_cast<float>(x)))
        return refuse(WriteFault::OutOfRange);  // just above the largest float
    return c;
}

MString WrittenText(const WriteCheck &check, const MString &text)
{
    return check.Normalized.empty() ? text : MString::FromUtf8(check.Normalized);
}

std::string AllowedText(const WriteLimits &l)
{
    if (!l.Options.empty()) {
        std::string s;
        for (double o : l.Options)
            s += (s.empty() ? "" : ", ") + Number(o);
        return s;
    }
    switch (l.Type) {
    case mbtAscii:
        return "a text";
    case mbtBinary:
        return "bytes in hexadecimal";
    default:
        break;
    }
    if (l.Integer && l.Min == 0 && l.Max == 1)
        return "0 or 1";
    if (!l.Integer && l.Max >= kFloatMax) {
        if (l.Min >= 0)
            return "a number from 0";
        return l.Type == mbtFloat ? "a finite 32-bit float" : "a finite number";
    }
    return Number(l.Min) + ".." + Number(l.Max);
}

std::string RefusalReason(const WriteCheck &c)
{
    const std::string allowed = " (allowed: " + AllowedText(c.Limits) + ")";
    switch (c.Fault) {
    case WriteFault::None:
        return "is allowed";
    case WriteFault::UnknownVariable:
        return "names no variable";
    case WriteFault::ReadOnly:
        return "cannot be written: the variable is read-only";
    case WriteFault::NotANumber:
        return "is not a number" + allowed;
    case WriteFault::NotAnInteger:
        return "is not a whole number" + allowed;
    case WriteFault::OutOfRange:
        return "is out of range" + allowed;
    case WriteFault::NotAnOption:
        return "is not one of " + AllowedText(c.Limits);
    case WriteFault::NotRepresentable:
        return "is too close to 0 to be stored as a number" + allowed;
    }
    return "is refused";
}

std::string DescribeRefusal(const WriteCheck &c)
{
    return c.Name + ": \"" + c.Value + "\" " + RefusalReason(c);
}
