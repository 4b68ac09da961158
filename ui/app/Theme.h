// The window's colours: the desktop's (system), or a light or dark palette of our own on the
// Fusion style, for desktops without a dark Qt theme and for pictures drawn offscreen.
#pragma once

#include <QStringList>
#include <optional>
#include <string_view>

class QPalette;

enum class UiTheme { System, Light, Dark };

// "system", "light" or "dark"; nothing for any other text.
std::optional<UiTheme> ParseTheme(std::string_view name);

// For the helper programs: takes "--theme NAME" (or "--dark") out of args and sets *theme;
// false for a --theme without a known name (args are then left as they were).
bool TakeThemeArgument(QStringList &args, UiTheme *theme);

// Applies the theme to the running application before any window is built. System leaves
// the style and palette as the platform gives them.
void ApplyTheme(UiTheme theme);

// The palettes ApplyTheme sets for Light and Dark.
QPalette LightPalette();
QPalette DarkPalette();

// Whether text on this palette's window is light on dark.
bool IsDarkPalette(const QPalette &palette);
