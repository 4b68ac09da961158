#include "values/MString.h"

#include <new>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <mutex>

#include "values/Cp1251.h"

namespace {

constexpr unsigned kCodePageUtf8 = 65001;
constexpr unsigned kCodePage1251 = 1251;

// Formatting and case mapping follow the user's regional settings, as a desktop program
// should; the switch is done once, at the first string made during start-up.
void SwitchLocaleOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { std::setlocale(LC_ALL, ""); });
}

std::size_t UnitsUpToZero(const char16_t *text, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && text[n] != 0)
        ++n;
    return n;
}

std::size_t UnitsUpToZero(const char16_t *text)
{
    std::size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

bool IsDigit(char16_t u)
{
    return u >= u'0' && u <= u'9';
}
bool IsBlank(char16_t u)
{
    return u == u' ' || u == u'\t';
}
bool IsHexLetter(char16_t u)
{
    return (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}
bool IsSeparator(char16_t u)
{
    return u == u'.' || u == u',';
}
bool IsMarker(char16_t u)
{
    return u == u'e' || u == u'E';
}
bool IsSign(char16_t u)
{
    return u == u'+' || u == u'-';
}

int DigitValue(char16_t u)
{
    if (IsDigit(u))
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// The separator of the current LC_NUMERIC, as one UTF-16 unit. Read on every call so a
// locale set later (or by a test) takes effect; a multi-unit separator falls back to '.'.
char16_t LocaleDecimalSeparator()
{
    const std::lconv *lc = std::localeconv();
    const char *dp = lc != nullptr ? lc->decimal_point : nullptr;
    if (dp == nullptr || dp[0] == 0)
        return u'.';
    if (static_cast<unsigned char>(dp[0]) < 0x80 && dp[1] == 0)
        return static_cast<char16_t>(dp[0]);
    wchar_t wide[2] = {0, 0};
    std::mbstate_t state{};
    const char *src = dp;
    const std::size_t n = std::mbsrtowcs(wide, &src, 2, &state);
    if (n == 1 && wide[0] < 0x10000)
        return static_cast<char16_t>(wide[0]);
    return u'.';
}

}  // namespace

bool SetNumberLocale(const char *name)
{
    SwitchLocaleOnce();
    return std::setlocale(LC_NUMERIC, name) != nullptr;
}

// --- construction --------------------------------------------------------------------

MString::MString()
{
    SwitchLocaleOnce();
}

MString::MString(const char16_t *text)
{
    if (text == nullptr)
        return;
    SwitchLocaleOnce();
    Guarded([&] { text_.assign(text, UnitsUpToZero(text)); });
}

MString::MString(const char *ansi)
{
    if (ansi != nullptr)
        Guarded([&] { text_ = Cp1251ToUtf16(ansi); });
}

MString::MString(const MString &other)
{
    Guarded([&] { text_ = other.text_; });
}

template <typename F> void MString::Guarded(F &&build)
{
    // No exception crosses a layer: a string that cannot get its buffer is left empty.
    try {
        build();
    } catch (const std::bad_alloc &) {
        std::u16string().swap(text_);
    }
}

MString::MString(MString &&other) noexcept : text_(std::move(other.text_))
{
    other.text_.clear();
    other.ReleaseAnsi();
}

MString &MString::operator=(const MString &other)
{
    Assign(other);
    return *this;
}

MString &MString::operator=(MString &&other) noexcept
{
    if (this != &other) {
        text_ = std::move(other.text_);
        other.text_.clear();
        other.ReleaseAnsi();
        ReleaseAnsi();
    }
    return *this;
}

MString::~MString() = default;

void MString::ReleaseAnsi() const
{
    std::string().swap(ansi_);
}

// --- access and conversion -----------------------------------------------------------

const char *MString::ToAnsi(unsigned codePage) const
{
    if (text_.empty()) {
        ReleaseAnsi();
        return "";
    }
    // 0 is the system's ANSI code page, which for this program is 1251.
    if (codePage != 0 && codePage != kCodePage1251 && codePage != kCodePageUtf8) {
        ReleaseAnsi();
        return "";
    }
    try {
        ansi_ = codePage == kCodePageUtf8 ? Utf16ToUtf8(text_) : Utf16ToCp1251(text_);
    } catch (const std::bad_alloc &) {
        ReleaseAnsi();
        return "";
    }
    return ansi_.c_str();
}

void MString::ToLower()
{
    for (char16_t &u : text_) {
        const std::wint_t lower = std::towlower(static_cast<std::wint_t>(u));
        if (lower <= 0xFFFF)
            u = static_cast<char16_t>(lower);
    }
}

std::string MString::ToUtf8() const
{
    return Utf16ToUtf8(text_);
}

MString MString::FromUtf8(std::string_view utf8)
{
    MString s;
    s.text_ = Utf8ToUtf16(utf8.substr(0, std::min(utf8.size(), utf8.find('\0'))));
    return s;
}

// --- assignment and concatenation ----------------------------------------------------

void MString::Assign(const MString &other)
{
    if (this == &other)
        return;
    text_ = other.text_;
    ReleaseAnsi();
}

void MString::Assign(const char16_t *text)
{
    if (text != nullptr && text == text_.c_str())
        return;
    if (text == nullptr) {
        text_.clear();
    } else {
        text_.assign(text, UnitsUpToZero(text));
    }
    ReleaseAnsi();
}

void MString::AssignInt(std::int64_t value)
{
    text_ = FromInt(value).text_;
    ReleaseAnsi();
}

void MString::AssignUnits(const char16_t *units, std::size_t count)
{
    if (units == nullptr) {
        text_.clear();
    } else {
        // Copy first: units may point into this string.
        std::u16string copy(units, UnitsUpToZero(units, count));
        text_ = std::move(copy);
    }
    ReleaseAnsi();
}

void MString::Append(const MString &other)
{
    if (other.text_.empty())
        return;
    Guarded([&] {
        if (this == &other) {
            text_ += std::u16string(text_);
        } else {
            text_ += other.text_;
        }
    });
}

void MString::Append(const char16_t *text)
{
    if (text == nullptr || text[0] == 0)
        return;
    // The pointer may be our own buffer, which the append may move.
    Guarded([&] {
        std::u16string copy(text, UnitsUpToZero(text));
        text_ += copy;
    });
}

void MString::Append(const char *ansi)
{
    if (ansi == nullptr || ansi[0] == 0)
        return;
    Guarded([&] { text_ += Cp1251ToUtf16(ansi); });
}

void MString::Append(char16_t unit)
{
    if (unit != 0)
        Guarded([&] { text_.push_back(unit); });
}

MString MString::Concat(const MString &left, const MString &right)
{
    MString s(left);
    s.Append(right);
    return s;
}

MString MString::Concat(const MString &left, const char16_t *right)
{
    MString s(left);
    s.Append(right);
    return s;
}

MString MString::Concat(const char16_t *left, const MString &right)
{
    MString s(left);
    s.Append(right);
    return s;
}

// --- comparison and search -----------------------------------------------------------

bool MString::Equals(const char16_t *text) const
{
    const std::size_t n = text == nullptr ? 0 : UnitsUpToZero(text);
    return n == text_.size() && std::equal(text_.begin(), text_.end(), text);
}

bool MString::Equals(const MString &other) const
{
    return text_ == other.text_;
}

int MString::Compare(const MString &other) const
{
    const bool emptyA = text_.empty();
    const bool emptyB = other.text_.empty();
    if (emptyA && emptyB)
        return 0;
    if (emptyA)
        return -1;
    if (emptyB)
        return 1;
    const std::size_t n = std::min(text_.size(), other.text_.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (text_[i] != other.text_[i])
            return int(text_[i]) - int(other.text_[i]);
    }
    // Lengths fit in 32 bits; clamp so a huge difference keeps its sign.
    const auto diff = static_cast<std::int64_t>(text_.size()) - static_cast<std::int64_t>(other.text_.size());
    return diff < 0 ? (diff < INT32_MIN ? INT32_MIN : int(diff)) : (diff > INT32_MAX ? INT32_MAX : int(diff));
}

int MString::Find(const MString &needle, std::uint32_t start) const
{
    const std::uint64_t len = text_.size();
    const std::uint64_t nlen = needle.text_.size();
    if (len == 0 || nlen == 0 || std::uint64_t(start) + nlen > len)
        return -1;
    const std::size_t pos = std::u16string_view(text_).find(needle.text_, start);
    return pos == std::u16string_view::npos ? -1 : static_cast<int>(pos);
}

MString MString::Mid(std::uint32_t start, std::uint32_t count) const
{
    MString s;
    if (count == 0 || start >= text_.size())
        return s;
    s.text_ = text_.substr(start, count);  // substr cuts count down to what is left
    return s;
}

MString MString::Between(std::uint32_t start, bool caseSensitive, const MString &startMarker,
                         const MString &endMarker) const
{
    start = std::min<std::uint32_t>(start, Length());
    MString work = start == 0 ? *this : Mid(start, Length() - start);
    MString startKey(startMarker);
    MString endKey(endMarker);
    if (!caseSensitive) {
        work.ToLower();
        startKey.ToLower();
        endKey.ToLower();
    }
    std::uint32_t fieldBegin = 0;
    if (!startKey.IsEmpty()) {
        const int found = work.Find(startKey, 0);
        if (found < 0)
            return MString();
        fieldBegin = static_cast<std::uint32_t>(found) + startKey.Length();
    }
    std::uint32_t fieldEnd = work.Length();
    if (!endKey.IsEmpty()) {
        const int found = work.Find(endKey, fieldBegin);
        if (found >= 0)
            fieldEnd = static_cast<std::uint32_t>(found);
    }
    return Mid(start + fieldBegin, fieldEnd - fieldBegin);
}

// --- numbers -------------------------------------------------------------------------

MString MString::FromInt(std::int64_t value)
{
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    MString s;
    s.Guarded([&] { s.text_.assign(buf, res.ptr); });
    return s;
}

MString MString::FromReal(double value, unsigned significantDigits, unsigned maxDecimals)
{
    try {
        return FromRealUnguarded(value, significantDigits, maxDecimals);
    } catch (const std::bad_alloc &) {
        return MString();
    }
}

MString MString::FromRealUnguarded(double value, unsigned significantDigits, unsigned maxDecimals)
{
    MString s;
    if (std::isinf(value) || std::isnan(value)) {
        s.text_ = std::signbit(value) ? u"-" : u"+";
        s.text_ += std::isinf(value) ? u"INF" : u"NAN";
        return s;
    }
    if (value == 0)
        value = 0.0;  // -0 is not negative: it shows as 0
    significantDigits = std::min(significantDigits, 35u);
    // Locale-free conversion (as printf's %g in the C locale), then the locale's separator:
    // the cut below must find the separator whatever the locale writes.
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, static_cast<int>(significantDigits));
    std::size_t len = static_cast<std::size_t>(res.ptr - buf);
    std::size_t afterSeparator = 0;
    bool exponential = false;
    for (std::size_t i = 0; i < len; ++i) {
        if (buf[i] == 'e' || buf[i] == 'E') {
            exponential = true;
            break;
        }
        if (afterSeparator == 0 && (buf[i] == '.' || buf[i] == ','))
            afterSeparator = i + 1;
    }
    // Truncate, never round: a value shows no more than it holds.
    if (afterSeparator != 0 && !exponential)
        len = std::min<std::size_t>(len, afterSeparator + maxDecimals);
    const char16_t separator = LocaleDecimalSeparator();
    s.text_.reserve(len);
    for (std::size_t i = 0; i < len; ++i)
        s.text_.push_back(buf[i] == '.' ? separator : char16_t(buf[i]));
    return s;
}

std::int64_t MString::ToInt() const
{
    const std::size_t n = text_.size();
    std::size_t i = 0;
    while (i < n && !IsDigit(text_[i]) && !IsSign(text_[i]))
        ++i;
    if (i == n)
        return 0;
    bool negative = false;
    if (IsSign(text_[i])) {
        negative = text_[i] == u'-';
        ++i;
        while (i < n && IsBlank(text_[i]))
            ++i;
        if (i == n || !IsDigit(text_[i]))
            return 0;
    }
    unsigned base = 10;
    if (text_[i] == u'0' && i + 1 < n && (text_[i + 1] == u'x' || text_[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    // Wrapping arithmetic: an over-long run keeps its low 64 bits rather than trapping.
    std::uint64_t value = 0;
    for (; i < n; ++i) {
        const int d = DigitValue(text_[i]);
        if (d < 0 || unsigned(d) >= base)
            break;
        value = value * base + unsigned(d);
    }
    if (negative)
        value = 0 - value;
    return static_cast<std::int64_t>(value);
}

double MString::ToReal() const
{
    const std::size_t n = text_.size();
    std::size_t i = 0;
    while (i < n && !IsDigit(text_[i]) && !IsSign(text_[i]) && !IsSeparator(text_[i]))
        ++i;
    if (i == n)
        return 0;
    bool negative = false;
    if (IsSign(text_[i])) {
        negative = text_[i] == u'-';
        ++i;
        while (i < n && IsBlank(text_[i]))
            ++i;
        if (i == n || !(IsDigit(text_[i]) || IsSeparator(text_[i])))
            return 0;
    }
    const std::size_t start = i;
    if (text_[start] == u'0' && start + 1 < n && (text_[start + 1] == u'x' || text_[start + 1] == u'X'))
        return static_cast<double>(ToInt());

    // Body: digits, one separator before the exponent marker, one marker, and a sign only
    // right after the marker.
    std::size_t separator = n;
    std::size_t marker = n;
    std::size_t expSign = n;
    std::size_t end = start;  // one past the last accepted unit
    for (std::size_t k = start; k < n; ++k) {
        const char16_t u = text_[k];
        if (IsDigit(u)) {
        } else if (IsSeparator(u) && separator == n && marker == n) {
            separator = k;
        } else if (IsMarker(u) && marker == n) {
            marker = k;
        } else if (IsSign(u) && marker != n && expSign == n && k == marker + 1) {
            expSign = k;
        } else {
            break;
        }
        end = k + 1;
    }

    // Zero digits are skipped in every sum: they add nothing, and skipping them keeps an
    // overflowed weight (inf) from turning 0 * inf into NaN on very long digit runs.
    double exponent = 0;
    if (marker != n) {
        const std::size_t first = (expSign != n ? expSign : marker) + 1;
        double weight = 1;
        for (std::size_t k = end; k > first; --k) {
            const char16_t u = text_[k - 1];
            if (IsDigit(u) && u != u'0')
                exponent += (u - u'0') * weight;
            weight *= 10;
        }
        if (expSign != n && text_[expSign] == u'-')
            exponent = -exponent;
        end = marker;
    }
    double result = 0;
    if (separator != n) {
        double weight = 0.1;
        for (std::size_t k = separator + 1; k < end; ++k) {
            const char16_t u = text_[k];
            if (IsDigit(u) && u != u'0')
                result += (u - u'0') * weight;
            weight *= 0.1;
        }
        end = separator;
    }
    double weight = 1;
    for (std::size_t k = end; k > start; --k) {
        const char16_t u = text_[k - 1];
        if (IsDigit(u) && u != u'0')
            result += (u - u'0') * weight;
        weight *= 10;
    }
    if (negative)
        result = -result;
    // Zero stays zero whatever its exponent: 0 x 10^400 would be 0 x inf, not a number.
    if (exponent != 0 && result != 0) {
        if (std::fabs(exponent) <= 300 || std::isinf(exponent)) {
            result *= std::pow(10.0, exponent);
        } else {
            // 10^exponent alone overflows (or underflows) where the product need not:
            // 0,001e310 is 1e307. Scale in two halves.
            const double half = std::trunc(exponent / 2);
            result = result * std::pow(10.0, half) * std::pow(10.0, exponent - half);
        }
    }
    return result;
}

bool MString::IsInteger(bool allowHex) const
{
    std::size_t b = 0;
    std::size_t e = text_.size();
    while (b < e && IsBlank(text_[b]))
        ++b;
    while (e > b && IsBlank(text_[e - 1]))
        --e;
    bool hex = false;
    if (allowHex && e - b >= 2 && text_[b] == u'0' && (text_[b + 1] == u'x' || text_[b + 1] == u'X')) {
        hex = true;
        b += 2;
    }
    bool digit = false;
    for (std::size_t k = b; k < e; ++k) {
        const char16_t u = text_[k];
        if (IsDigit(u)) {
            digit = true;
        } else if (IsSign(u) && k == b) {
        } else if (!(hex && IsHexLetter(u))) {
            return false;
        }
    }
    return digit;
}

namespace {

char16_t Unit(char c)
{
    return static_cast<unsigned char>(c);
}
char16_t Unit(char16_t c)
{
    return c;
}

// The C-locale text from_chars reads ("-1.5e3"), when the text is a complete number.
template <typename Ch>
bool CompleteNumberText(std::basic_string_view<Ch> text, const NumberRules &rules, std::string *c)
{
    std::size_t i = 0;
    std::size_t e = text.size();
    if (rules.Blanks) {
        while (i < e && IsBlank(Unit(text[i])))
            ++i;
        while (e > i && IsBlank(Unit(text[e - 1])))
            --e;
    }
    c->clear();
    if (rules.PlusBeforeSign && i + 1 < e && Unit(text[i]) == u'+' && Unit(text[i + 1]) == u'-')
        ++i;
    if (i < e && IsSign(Unit(text[i]))) {
        if (Unit(text[i]) == u'-')
            c->push_back('-');
        ++i;
    }
    bool digit = false;
    bool separator = false;
    for (; i < e; ++i) {
        const char16_t u = Unit(text[i]);
        if (IsDigit(u)) {
            digit = true;
            c->push_back(static_cast<char>(u));
        } else if ((u == u'.' || (rules.Comma && u == u',')) && !separator) {
            separator = true;
            c->push_back('.');
        } else {
            break;
        }
    }
    if (!digit)
        return false;
    if (rules.Exponent && i < e && IsMarker(Unit(text[i]))) {
        c->push_back('e');
        ++i;
        if (i < e && IsSign(Unit(text[i])))
            c->push_back(static_cast<char>(Unit(text[i++])));
        bool expDigit = false;
        for (; i < e && IsDigit(Unit(text[i])); ++i) {
            expDigit = true;
            c->push_back(static_cast<char>(Unit(text[i])));
        }
        if (!expDigit)
            return false;
    }
    return i == e;
}

template <typename Ch, typename T>
bool ParseComplete(std::basic_string_view<Ch> text, T *value, const NumberRules &rules)
{
    std::string c;
    if (!CompleteNumberText(text, rules, &c))
        return false;
    T x = 0;
    const auto [end, ec] = std::from_chars(c.data(), c.data() + c.size(), x, std::chars_format::general);
    if (ec != std::errc() || end != c.data() + c.size() || !std::isfinite(x))
        return false;
    *value = x;
    return true;
}

}  // namespace

bool IsCompleteNumber(std::u16string_view text, const NumberRules &rules)
{
    std::string c;
    return CompleteNumberText(text, rules, &c);
}

bool IsCompleteNumber(std::string_view text, const NumberRules &rules)
{
    std::string c;
    return CompleteNumberText(text, rules, &c);
}

bool ParseCompleteNumber(std::u16string_view text, double *value, const NumberRules &rules)
{
    return ParseComplete(text, value, rules);
}

bool ParseCompleteNumber(std::u16string_view text, float *value, const NumberRules &rules)
{
    return ParseComplete(text, value, rules);
}

bool ParseCompleteNumber(std::string_view text, double *value, const NumberRules &rules)
{
    return ParseComplete(text, value, rules);
}

bool ParseCompleteNumber(std::string_view text, float *value, const NumberRules &rules)
{
    return ParseComplete(text, value, rules);
}

bool MString::IsNumber() const
{
    std::size_t b = 0;
    std::size_t e = text_.size();
    while (b < e && IsBlank(text_[b]))
        ++b;
    while (e > b && IsBlank(text_[e - 1]))
        --e;
    bool digit = false;
    bool separator = false;
    std::size_t marker = e;  // index of the exponent marker, e when none
    for (std::size_t k = b; k < e; ++k) {
        const char16_t u = text_[k];
        const std::size_t i = k - b;
        if (IsDigit(u)) {
            digit = true;
        } else if (IsSign(u) && (i == 0 || (marker != e && k == marker + 1))) {
        } else if (IsSeparator(u) && !separator && marker == e) {
            // A separator inside the exponent would not parse as written.
            separator = true;
        } else if (IsMarker(u) && marker == e && i > 0) {
            marker = k;
        } else {
            return false;
        }
    }
    return digit;
}
