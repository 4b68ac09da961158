#include "core/Notify.h"

#include <cstdio>

namespace {
MessageHook &Hook()
{
    static MessageHook hook;
    return hook;
}

// Minimal UTF-16 → UTF-8 for the fallback path only.
std::string ToUtf8(std::u16string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
}  // namespace

void ShowMessageBox(std::u16string_view text)
{
    if (Hook()) {
        Hook()(text);
        return;
    }
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
}

MessageHook SetMessageHook(MessageHook hook)
{
    MessageHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}
