// The user's UI language on Linux, and the order in which a module's string tables are tried
// for it, so that the Linux build shows a message in the language tavlo9.dll would show it in
// under Wine for the same environment.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tavlo::platform::portable {

inline constexpr std::uint16_t kLanguageNeutral = 0x0000;
inline constexpr std::uint16_t kEnglishUs = 0x0409;

// The Windows language id of a POSIX locale name ("de_AT.UTF-8", "fr_FR@euro", "de"): as Wine
// derives the user's UI language from it, except that a known language in a country without an
// id of its own ("de_BE") takes the language's main id, where Wine's id has no language (its
// loader still picks that language's messages by the locale's name). C, POSIX, an empty name
// and languages the table does not know give English (United States), as Wine does.
std::uint16_t languageOfLocale(std::string_view locale);

// The UI language of this process's environment: the first set, non-empty one of LC_ALL,
// LC_MESSAGES and LANG, read on every call so that a changed environment is followed.
std::uint16_t uiLanguage();

// The languages tried, in order, for a string asked for without a language: neutral, the UI
// language, its primary language with a neutral sublanguage, English (United States). The loader
// takes the first that the module has; when it has none of them, its first language.
std::array<std::uint16_t, 4> resourceLanguages(std::uint16_t ui);

} // namespace tavlo::platform::portable
