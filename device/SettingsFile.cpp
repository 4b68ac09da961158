#include "device/SettingsFile.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <charconv>
#include <cmath>
#include <map>

#include "core/Version.h"
#include "device/ModbusAction.h"
#include "device/WriteGate.h"
#include "values/MFile.h"

namespace {

constexpr std::string_view kDeviceKey = "# device:";
constexpr std::string_view kDateKey = "# date:";
constexpr std::string_view kChipKey = "# chip:";
constexpr int32_t kOutputModesFrom = 111;  // firmware that has Do1.Mode..Do4.Mode
// Quoted file text in a message stops after this many characters.
constexpr size_t kQuoteLength = 60;

std::string Utf8(const char16_t *name)
{
    return MString(name).ToUtf8();
}

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}
bool EndsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string Trim(std::string_view s)
{
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

bool IsOutputMode(std::string_view name)
{
    return name.size() == 8 && StartsWith(name, "Do") && name[2] >= '1' && name[2] <= '4' && EndsWith(name, ".Mode");
}

// The settings by name: the configuration the device keeps in its non-volatile memory.
// Left out on purpose: commands (SaveConfigToRomNow, the calibration commands,
// Reg.TrainingCycleCount which starts a training, Extremes.bReset), counters (energy,
// input changes), the calibration's true value (an argument of its command) and the
// outputs' on/off state, which switches whatever is connected.
bool IsSettingName(std::string_view name)
{
    static constexpr std::string_view kExact[] = {
        "Mb.MyModbusAddr",  "485.Init.BaudRate", "Reg.ChargeMinU",      "Reg.ChargeMaxU",
        "Reg.ChargeI",      "Reg.LoadOffU",      "Reg.LoadOnU",         "Reg.VoltTempCoef",
        "Reg.bModeCharger", "Reg.bForceLoadOff", "Reg.bNightLightMode",
    };
    if (std::find(std::begin(kExact), std::end(kExact), name) != std::end(kExact))
        return true;
    return IsCalibrationSetting(name) || IsOutputMode(name);
}

const MbVariableRow *FindRow(std::string_view name)
{
    for (const MbVariableRow &row : DeviceRegisterMap())
        if (Utf8(row.Name) == name)
            return &row;
    return nullptr;
}

// The type part of a type text: "Quintavolte 1.11" and "Quintavolte" are both "Quintavolte".
std::string DeviceKind(const std::string &typeText)
{
    std::string t = Trim(typeText);
    const size_t space = t.find_last_of(' ');
    if (space != std::string::npos && MString::FromUtf8(t.substr(space + 1)).IsNumber())
        t = Trim(t.substr(0, space));
    return t;
}

// The version part of a type text times 100 ("Quintavolte 1.11" is 111), as the connect
// reads it; -1 when the text names none.
int VersionOf(const std::string &typeText)
{
    const std::string t = Trim(typeText);
    const size_t space = t.find_last_of(' ');
    if (space == std::string::npos)
        return -1;
    const MString number = MString::FromUtf8(t.substr(space + 1));
    return number.IsNumber() ? static_cast<int>(std::lround(number.ToReal() * 100)) : -1;
}

// A "# chip:" line's words in the form ChipIdentityText makes, or empty when they are not
// three words of 8 hexadecimal digits.
std::string ChipText(std::string_view text)
{
    uint32_t words[3] = {};
    size_t pos = 0;
    for (uint32_t &w : words) {
        pos = text.find_first_not_of(" \t", pos);
        if (pos == std::string_view::npos || pos + 8 > text.size())
            return {};
        const auto [end, ec] = std::from_chars(text.data() + pos, text.data() + pos + 8, w, 16);
        if (ec != std::errc() || end != text.data() + pos + 8)
            return {};
        pos += 8;
        if (pos < text.size() && text[pos] != ' ' && text[pos] != '\t')
            return {};
    }
    if (text.find_first_not_of(" \t", pos) != std::string_view::npos)
        return {};
    return ChipIdentityText(words[0], words[1], words[2]);
}

bool CheckValue(const MbVariableRow &row, const std::string &value, std::string *why)
{
    if (value.find(',') != std::string::npos) {
        *why = "has a decimal comma; the file uses a decimal point";
        return false;
    }
    ModbusAction probe;
    probe.Name = MString(row.Name);
    probe.Type = row.Type;
    probe.Access = row.Access;
    const WriteCheck check = CheckWrite(probe, MString::FromUtf8(value));
    if (!check.Ok())
        *why = RefusalReason(check);
    return check.Ok();
}

// A value text with a decimal point whatever the locale wrote.
std::string CText(std::string_view shown)
{
    std::string t(shown);
    if (MString::FromUtf8(t).IsNumber())
        std::replace(t.begin(), t.end(), ',', '.');
    return t;
}

// The text the program shows after the device has stored this value.
std::string ShownAs(uint32_t type, const std::string &text)
{
    const MString m = MString::FromUtf8(text);
    switch (type) {
    case mbtFloat:
        return m.IsNumber() ? CText(MString::FromReal(static_cast<float>(m.ToReal()), 10, 5).ToUtf8()) : text;
    case mbtDouble:
        return m.IsNumber() ? CText(MString::FromReal(m.ToReal(), 10, 5).ToUtf8()) : text;
    case mbtAscii:
    case mbtBinary:
        return text;
    default:
        return m.IsInteger(true) ? std::to_string(m.ToInt()) : text;
    }
}

std::string LineText(int line)
{
    return "line " + std::to_string(line) + ": ";
}

// File text for a message: at most kQuoteLength characters (not bytes: a UTF-8 sequence
// is never split), then "...".
std::string Cut(const std::string &text)
{
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;  // a continuation byte belongs to the character before
        if (chars++ == kQuoteLength)
            return text.substr(0, i) + "...";
    }
    return text;
}

// The first control character of a line (a line end's CR aside), or -1.
int ControlCharacter(std::string_view line)
{
    for (size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == '\t' || (c == '\r' && i + 1 == line.size()))
            continue;
        if (c < 0x20 || c == 0x7F)
            return c;
    }
    return -1;
}

// A float or double text parsed exactly, when it is a complete C-locale number.
template <typename T> bool ExactNumber(const std::string &text, T *out)
{
    NumberRules rules;
    rules.Blanks = false;
    rules.Comma = false;
    rules.PlusBeforeSign = true;
    return ParseCompleteNumber(text, out, rules);
}

}  // namespace

bool IsSetting(const MbVariableRow &row, int32_t versionX100)
{
    const std::string name = Utf8(row.Name);
    if (row.Access != mbaReadWrite || !IsSettingName(name))
        return false;
    return !IsOutputMode(name) || versionX100 >= kOutputModesFrom;
}

std::vector<const MbVariableRow *> DeviceSettings(int32_t versionX100)
{
    std::vector<const MbVariableRow *> rows;
    for (const MbVariableRow &row : DeviceRegisterMap())
        if (IsSetting(row, versionX100))
            rows.push_back(&row);
    return rows;
}

std::string ChipIdentityText(uint32_t h1, uint32_t h2, uint32_t l)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08X %08X %08X", h1, h2, l);
    return buf;
}

std::string FormatSettingsFile(const std::string &deviceType, const std::string &date,
                               const std::vector<std::pair<std::string, std::string>> &values, const std::string &chip)
{
    std::string text = "# Quintavolte settings, saved by quintavolte " QV_VERSION_TEXT "\n";
    text += std::string(kDeviceKey) + " " + deviceType + "\n";
    // A comment line to readers that know no chip: they restore the file as before.
    if (!chip.empty())
        text += std::string(kChipKey) + " " + chip + "\n";
    text += std::string(kDateKey) + " " + date + "\n";
    text += "# NAME = VALUE, numbers with a decimal point\n";
    for (const auto &[name, value] : values)
        text += name + " = " + value + "\n";
    return text;
}

bool ParseSettingsFile(std::string_view text, SettingsFile *file, std::string *error, SettingsFault *fault)
{
    SettingsFault ignored;
    SettingsFault &f = fault != nullptr ? *fault : ignored;
    f = SettingsFault();
    auto fail = [&](SettingsFaultKind kind, int line, std::string name, std::string value, std::string other,
                    std::string message) {
        f = SettingsFault{kind, line, std::move(name), std::move(value), std::move(other)};
        *error = std::move(message);
        return false;
    };
    *file = SettingsFile();
    std::map<std::string, int> seen;
    bool haveDevice = false;
    int lineNo = 0;
    size_t pos = 0;
    // Editors on some systems begin a UTF-8 file with a byte order mark.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        pos = 3;
    while (pos < text.size()) {
        const size_t eol = text.find('\n', pos);
        const std::string_view raw =
            text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() : eol + 1;
        ++lineNo;
        // A file cut short ends inside a line, and what is left of it may still read as a
        // value ("Reg.ChargeMinU = 1" of "= 10.5"): only whole lines count.
        if (eol == std::string_view::npos) {
            return fail(SettingsFaultKind::NoLineEnd, lineNo, {}, Cut(Trim(raw)), {},
                        LineText(lineNo) +
                            "the last line has no line end, the file may be cut short: " + Cut(Trim(raw)));
        }
        if (const int c = ControlCharacter(raw); c >= 0) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%02X", c);
            return fail(SettingsFaultKind::ControlCharacter, lineNo, {}, {}, code,
                        LineText(lineNo) + "a control character (" + code + "): not a text file line");
        }
        const std::string line = Trim(raw);
        if (line.empty())
            continue;
        if (line[0] == '#') {
            if (StartsWith(line, kDeviceKey)) {
                file->DeviceType = Trim(std::string_view(line).substr(kDeviceKey.size()));
                haveDevice = !file->DeviceType.empty();
                file->DeviceLine = lineNo;
            } else if (StartsWith(line, kChipKey)) {
                const std::string words = Trim(std::string_view(line).substr(kChipKey.size()));
                file->Chip = ChipText(words);
                file->ChipLine = lineNo;
                if (file->Chip.empty()) {
                    return fail(SettingsFaultKind::BadChip, lineNo, {}, Cut(words), {},
                                LineText(lineNo) + "the chip identity '" + Cut(words) +
                                    "' is not three words of 8 hexadecimal digits");
                }
            } else if (StartsWith(line, kDateKey)) {
                file->Date = Trim(std::string_view(line).substr(kDateKey.size()));
            }
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            return fail(SettingsFaultKind::NotALine, lineNo, {}, Cut(line), {},
                        LineText(lineNo) + "not a \"NAME = VALUE\" line: " + Cut(line));
        }
        SettingLine s{Trim(std::string_view(line).substr(0, eq)), Trim(std::string_view(line).substr(eq + 1)), lineNo};
        if (s.Name.empty() || s.Value.empty()) {
            return fail(s.Name.empty() ? SettingsFaultKind::NoName : SettingsFaultKind::NoValue, lineNo, Cut(s.Name),
                        Cut(s.Value), {},
                        LineText(lineNo) + (s.Name.empty() ? "no name before '='" : "no value for " + Cut(s.Name)));
        }
        const MbVariableRow *row = FindRow(s.Name);
        if (row == nullptr) {
            return fail(SettingsFaultKind::UnknownName, lineNo, Cut(s.Name), Cut(s.Value), {},
                        LineText(lineNo) + "unknown variable " + Cut(s.Name));
        }
        if (!IsSetting(*row, INT32_MAX)) {
            return fail(SettingsFaultKind::NotASetting, lineNo, s.Name, s.Value, {},
                        LineText(lineNo) + s.Name + " is not a setting");
        }
        if (auto [it, fresh] = seen.emplace(s.Name, lineNo); !fresh) {
            return fail(SettingsFaultKind::GivenTwice, lineNo, s.Name, s.Value, std::to_string(it->second),
                        LineText(lineNo) + s.Name + " is given twice (also on line " + std::to_string(it->second) +
                            ")");
        }
        std::string why;
        if (!CheckValue(*row, s.Value, &why)) {
            return fail(SettingsFaultKind::BadValue, lineNo, s.Name, Cut(s.Value), why,
                        LineText(lineNo) + "'" + Cut(s.Value) + "' " + why + ", cannot write it to " + s.Name);
        }
        file->Settings.push_back(std::move(s));
    }
    if (!haveDevice)
        return fail(SettingsFaultKind::NotASettingsFile, 0, {}, {}, {},
                    "no \"" + std::string(kDeviceKey) + "\" line: not a Quintavolte settings file");
    return true;
}

bool CheckSettingsForDevice(const SettingsFile &file, const std::string &deviceType, int32_t versionX100,
                            std::string *error, SettingsFault *fault)
{
    SettingsFault ignored;
    SettingsFault &f = fault != nullptr ? *fault : ignored;
    f = SettingsFault();
    if (DeviceKind(file.DeviceType) != DeviceKind(deviceType)) {
        f = SettingsFault{SettingsFaultKind::OtherDevice, file.DeviceLine, {}, file.DeviceType, deviceType};
        *error = LineText(file.DeviceLine) + "the file is for " + file.DeviceType + ", the device is " + deviceType;
        return false;
    }
    for (const SettingLine &s : file.Settings) {
        const MbVariableRow *row = FindRow(s.Name);
        if (row == nullptr || !IsSetting(*row, versionX100)) {
            f = SettingsFault{SettingsFaultKind::NotOnThisVersion, s.Line, s.Name, s.Value, deviceType};
            *error = LineText(s.Line) + s.Name + " is not a setting of " + deviceType;
            return false;
        }
    }
    return true;
}

std::string SettingFileText(uint32_t type, std::string_view shown)
{
    std::string t = CText(shown);
    if (type != mbtFloat || !MString::FromUtf8(t).IsNumber())
        return t;
    // The value lies between the shown text and one unit of its last digit beyond it (the
    // text is cut, not rounded): try the shortest roundings of both ends and the middle.
    const double lower = MString::FromUtf8(t).ToReal();
    const size_t point = t.find('.');
    const size_t decimals =
        point == std::string::npos || t.find_first_of("eE") != std::string::npos ? 0 : t.size() - point - 1;
    const double unit = std::copysign(std::pow(10.0, -static_cast<double>(decimals)), lower);
    for (int digits = 1; digits <= 9; ++digits) {
        for (double x : {lower, lower + unit / 2, lower + unit}) {
            char buf[64];
            const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, digits);
            const std::string candidate(buf, res.ptr);
            if (ShownAs(type, candidate) == t)
                return candidate;
        }
    }
    return t;
}

std::string ExactSettingText(uint32_t type, const uint8_t *raw, size_t count, std::string_view shown)
{
    uint64_t bits = 0;
    const size_t size = type == mbtFloat ? 4 : type == mbtDouble ? 8 : 0;
    if (size == 0)
        return SettingFileText(type, shown);
    if (count < size)
        return {};
    for (size_t i = 0; i < size; ++i)
        bits |= static_cast<uint64_t>(raw[i]) << (8 * i);
    return type == mbtFloat ? ShortestNumberText(std::bit_cast<float>(static_cast<uint32_t>(bits)))
                            : ShortestNumberText(std::bit_cast<double>(bits));
}

namespace {

template <typename T> std::string ShortestText(T value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

}  // namespace

std::string ShortestNumberText(float value)
{
    return ShortestText(value);
}

std::string ShortestNumberText(double value)
{
    return ShortestText(value);
}

std::string ExactValueText(const ModbusAction &variable)
{
    const std::string shown = variable.Value.ToUtf8();
    if (shown == "--")
        return shown;
    const std::string exact = ExactSettingText(variable.Type, variable.Raw, variable.RawCount, shown);
    // No read since a write set the text: the text is what was sent.
    return exact.empty() ? SettingFileText(variable.Type, shown) : exact;
}

bool SameSettingValue(uint32_t type, const std::string &device, const std::string &value)
{
    if (type == mbtFloat) {
        float a = 0, b = 0;
        if (ExactNumber(CText(device), &a) && ExactNumber(value, &b))
            return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
    } else if (type == mbtDouble) {
        double a = 0, b = 0;
        if (ExactNumber(CText(device), &a) && ExactNumber(value, &b))
            return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
    }
    return ShownAs(type, CText(device)) == ShownAs(type, value);
}

std::vector<SettingChange> CompareSettings(const SettingsFile &file,
                                           const std::vector<std::pair<std::string, std::string>> &deviceValues)
{
    std::map<std::string, std::string> device(deviceValues.begin(), deviceValues.end());
    std::vector<SettingChange> changes;
    for (const MbVariableRow *row : DeviceSettings(INT32_MAX)) {
        const std::string name = Utf8(row->Name);
        for (const SettingLine &s : file.Settings) {
            if (s.Name != name)
                continue;
            const auto d = device.find(name);
            const std::string now = d == device.end() ? std::string("--") : d->second;
            if (!SameSettingValue(row->Type, now, s.Value))
                changes.push_back(SettingChange{name, now, s.Value, s.Line});
        }
    }
    // Order matters for what the device does in between. Leaving the power-supply mode
    // goes first, so the charger settings never drive the output; entering it goes after
    // them, so the output starts at the file's set-point. A new baud rate goes last: a
    // device that takes it at once answers nothing after it.
    // A new address goes just before it, so a device that stops answering after either
    // has taken everything else.
    auto rank = [](const SettingChange &c) {
        if (c.Name == "Reg.bModeCharger")
            return MString::FromUtf8(c.FileValue).ToInt() != 0 ? 0 : 2;
        if (c.Name == "Mb.MyModbusAddr")
            return 3;
        return c.Name == "485.Init.BaudRate" ? 4 : 1;
    };
    std::stable_sort(changes.begin(), changes.end(),
                     [&](const SettingChange &a, const SettingChange &b) { return rank(a) < rank(b); });
    return changes;
}

bool IsCalibrationSetting(std::string_view name)
{
    return StartsWith(name, "Cal_") && (EndsWith(name, ".ZeroOffset") || EndsWith(name, ".Mul"));
}

SettingsPlan PlanSettings(const SettingsFile &file,
                          const std::vector<std::pair<std::string, std::string>> &deviceValues,
                          const std::string &deviceType, const std::string &deviceChip, bool withCalibration)
{
    SettingsPlan plan;
    plan.OtherUnit = file.Chip.empty() || deviceChip.empty() || file.Chip != deviceChip;
    plan.CalibrationAsked = plan.OtherUnit && withCalibration;
    const int fileVersion = VersionOf(file.DeviceType), deviceVersion = VersionOf(deviceType);
    plan.OtherVersion = fileVersion >= 0 && deviceVersion >= 0 && fileVersion != deviceVersion;
    for (SettingChange &c : CompareSettings(file, deviceValues)) {
        if (plan.OtherUnit && !withCalibration && IsCalibrationSetting(c.Name)) {
            plan.LeftOut.push_back(std::move(c));
            continue;
        }
        plan.ChangesLink = plan.ChangesLink || ChangesDeviceLink(std::string_view(c.Name));
        plan.Changes.push_back(std::move(c));
    }
    return plan;
}

bool ReadSettingsText(const std::string &path, std::string *text, std::string *error)
{
    std::string why;
    if (!ReadRegularFile(path, kMaxSettingsFileSize, text, &why)) {
        *error = "cannot read " + path + ": " + why;
        return false;
    }
    return true;
}

bool WriteSettingsText(const std::string &path, const std::string &text, std::string *error)
{
    std::string why;
    const bool ok = WriteFileWhole(
        path, [&](int fd) { return WriteAllBytes(fd, text.data(), text.size()); }, &why);
    if (!ok)
        *error = "cannot write " + path + ": " + why;
    return ok;
}

std::string SettingsDateText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S %z", &local);
    return buf;
}
