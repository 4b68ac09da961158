// MString: the wide (UTF-16) string in which every device name and value travels as text,
// with the one number formatting and parsing the whole program shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

class MBaseStream;

class MString {
public:
    // The first default construction (or the first from non-null wide text) switches the
    // process locale to the user's default; FromReal and ToLower follow that locale.
    MString();
    MString(const char16_t *text);  // up to the first 0 unit; null gives empty
    MString(const char *ansi);      // system ANSI code page (one character per byte); null gives empty
    MString(const MString &other);
    MString(MString &&other) noexcept;
    MString &operator=(const MString &other);
    MString &operator=(MString &&other) noexcept;
    ~MString();

    // Access and conversion
    std::uint32_t Length() const { return static_cast<std::uint32_t>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }
    const char16_t *Chars() const { return text_.c_str(); }  // never null
    std::u16string_view View() const { return text_; }
    // codePage 0 = system ANSI code page (Windows-1251); 65001 = UTF-8; 1251 also accepted.
    // Code page 0 (the system's, here 1251), 1251 or 65001 (UTF-8); any other gives "".
    // The pointer stays valid until the next ToAnsi, assignment or destruction.
    const char *ToAnsi(unsigned codePage = 0) const;
    void ToLower();
    std::string ToUtf8() const;
    static MString FromUtf8(std::string_view utf8);

    // Assignment and concatenation
    void Assign(const MString &other);
    void Assign(const char16_t *text);
    void AssignInt(std::int64_t value);
    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
             !std::is_same_v<T, char16_t> && !std::is_same_v<T, wchar_t>) void Assign(T value)
    {
        AssignInt(static_cast<std::int64_t>(value));
    }
    // Raw code units (as read from a stream record); stops at the first 0 unit.
    void AssignUnits(const char16_t *units, std::size_t count);

    void Append(const MString &other);
    void Append(const char16_t *text);
    void Append(const char *ansi);
    void Append(char16_t unit);
    static MString Concat(const MString &left, const MString &right);
    static MString Concat(const MString &left, const char16_t *right);
    static MString Concat(const char16_t *left, const MString &right);

    // Comparison and search (plain code-unit order, no collation)
    bool Equals(const char16_t *text) const;
    bool Equals(const MString &other) const;
    int Compare(const MString &other) const;
    bool Less(const MString &other) const { return Compare(other) < 0; }
    bool Greater(const MString &other) const { return Compare(other) > 0; }
    int Find(const MString &needle, std::uint32_t start = 0) const;  // -1 when absent
    MString Mid(std::uint32_t start, std::uint32_t count) const;
    MString Between(std::uint32_t start, bool caseSensitive, const MString &startMarker,
                    const MString &endMarker) const;

    // Numbers
    static MString FromInt(std::int64_t value);
    static MString FromReal(double value, unsigned significantDigits = 10, unsigned maxDecimals = 5);
    std::int64_t ToInt() const;
    double ToReal() const;
    bool IsInteger(bool allowHex) const;
    bool IsNumber() const;

    // Stream records; defined with the streams.
    bool WriteTo(MBaseStream &stream) const;
    bool ReadFrom(MBaseStream &stream);

    friend bool operator==(const MString &a, const MString &b) { return a.Equals(b); }
    friend bool operator<(const MString &a, const MString &b) { return a.Compare(b) < 0; }

private:
    void ReleaseAnsi() const;
    // Runs a step that builds text_; when memory runs out, text_ is left empty.
    template <typename F> void Guarded(F &&build);
    static MString FromRealUnguarded(double value, unsigned significantDigits, unsigned maxDecimals);

    std::u16string text_;
    mutable std::string ansi_;
};

// Sets the locale whose decimal separator FromReal writes (LC_NUMERIC), for a program that
// lets its user choose the language. The one-time switch to the user's settings runs first,
// so it cannot undo this later. False when the system has no such locale.
bool SetNumberLocale(const char *name);

// How much of a number text ParseCompleteNumber takes beyond "[sign] digits [point digits]".
// The defaults are the ones the write gate and the encoder use.
struct NumberRules {
    bool Blanks = true;           // spaces and tabs around the number are skipped
    bool Comma = true;            // a comma may stand for the decimal point
    bool Exponent = true;         // "1e5", "2,5E-3"
    bool PlusBeforeSign = false;  // "+-1" reads as -1, as the encoder has always read it
};

// True when the whole text is one decimal number written out in full: an optional sign,
// digits with at most one decimal separator (at least one digit), and an exponent with its
// own digits. "1e", "2." + "e5" cut short, "0x10", "inf" are not; "1,", ",5" and "1." are.
// Syntax only: "1e400" passes.
bool IsCompleteNumber(std::u16string_view text, const NumberRules &rules = {});
bool IsCompleteNumber(std::string_view text, const NumberRules &rules = {});
// The value of such a text, correctly rounded to the type. False as well when the value
// lies beyond the type's range or underflows to 0 (but a subnormal is taken).
bool ParseCompleteNumber(std::u16string_view text, double *value, const NumberRules &rules = {});
bool ParseCompleteNumber(std::u16string_view text, float *value, const NumberRules &rules = {});
bool ParseCompleteNumber(std::string_view text, double *value, const NumberRules &rules = {});
bool ParseCompleteNumber(std::string_view text, float *value, const NumberRules &rules = {});

template <> struct std::hash<MString> {
    std::size_t operator()(const MString &s) const noexcept { return std::hash<std::u16string_view>{}(s.View()); }
};
