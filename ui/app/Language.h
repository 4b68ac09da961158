// The window's language: Russian, the texts it was written in, for a Russian locale, and
// English for every other; `--lang ru|en` overrides the choice for one run. Numbers follow
// the chosen language (comma in Russian, point in English), in the window and below it.
#pragma once

#include <QLocale>
#include <QStringList>
#include <QString>
#include <optional>
#include <string_view>

enum class UiLanguage { Russian, English };

UiLanguage LanguageOf(const QLocale &locale);
// "ru" or "en"; nothing for any other text.
std::optional<UiLanguage> ParseLanguage(std::string_view code);

// For the helper programs: takes "--lang ru|en" out of args and sets *language; false for a
// --lang without ru or en (args are then left as they were).
bool TakeLanguageArgument(QStringList &args, UiLanguage *language);

// Installs the language before any window is built: our translation (none for Russian),
// the framework's own texts (Yes/No, file dialogs) in that language, the default QLocale
// and the decimal separator of the texts made below the window. A later call replaces the
// earlier one. False when the translation could not be loaded (the texts stay Russian).
bool InstallLanguage(UiLanguage language);
UiLanguage CurrentLanguage();

// Texts made below the window ("Файл … поврежден!", the presets' reports) reach the window
// as finished Russian text: they are translated here, in one place, when they are shown.
// Text it does not know is returned unchanged.
QString TranslateCoreText(const QString &text);
