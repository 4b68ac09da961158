#include "device/PrintableText.h"

#include <cstdint>
#include <cstdio>

std::string Printable(std::string_view text, size_t maxChars)
{
    std::string out;
    size_t chars = 0;
    size_t i = 0;
    auto hex = [&out](unsigned value, const char *format) {
        char buf[12];
        std::snprintf(buf, sizeof buf, format, value);
        out += buf;
    };
    while (i < text.size() && chars < maxChars) {
        const auto c = static_cast<unsigned char>(text[i]);
        ++chars;
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F)
                hex(c, "\\x%02x");
            else if (c == '\\')
                out += "\\\\";
            else
                out += char(c);
            ++i;
            continue;
        }
        // A complete, shortest-form UTF-8 sequence, or the byte is shown as an escape.
        const size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
        uint32_t cp = length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            valid = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        valid = valid && !(length == 3 && cp < 0x800) && !(length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) &&
                !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            hex(c, "\\x%02x");
            ++i;
            continue;
        }
        // C1 controls, line and paragraph separators, direction overrides and isolates.
        const bool control = (cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
                             (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E ||
                             cp == 0x200F || cp == 0x061C;
        if (control)
            hex(cp, "\\u%04x");
        else
            out.append(text.substr(i, length));
        i += length;
    }
    if (i < text.size())
        out += "...";
    return out;
}
