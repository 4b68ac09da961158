// "Show a message box" for code below the user interface. The application installs the
// real box; tests install a recorder; without a hook the text goes to stderr.
#pragma once
#include <functional>
#include <string>
#include <string_view>

using MessageHook = std::function<void(std::u16string_view text)>;

void ShowMessageBox(std::u16string_view text);
// Returns the previous hook so that a scope can restore it.
MessageHook SetMessageHook(MessageHook hook);
