// Byte <-> UTF-16 conversions: the Windows-1251 code page (the system ANSI code page of
// the Russian desktops the program serves) and UTF-8 (what Linux file names and the
// terminal use).
#pragma once

#include <string>
#include <string_view>

// One UTF-16 unit per byte; every byte maps (0x98, unassigned in the code page, maps to U+0098).
char16_t Cp1251ToUnit(unsigned char byte);
// The byte for a unit, or '?' when the code page has no such character.
char UnitToCp1251(char16_t unit);

std::u16string Cp1251ToUtf16(std::string_view bytes);
std::string Utf16ToCp1251(std::u16string_view units);

// Invalid or truncated UTF-8 sequences and lone surrogates become U+FFFD, so nothing
// fails and no neighbouring character is swallowed.
std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view units);
