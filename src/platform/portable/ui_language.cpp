#include "platform/portable/ui_language.h"

#include <cstdlib>

namespace tavlo::platform::portable {

namespace {

struct LocaleId {
    std::string_view name; // "ll_CC"
    std::uint16_t language;
};

// The languages and countries with a language id of their own. A language named without a
// country, or in a country not listed here (de_BE, en_SE), takes its first row: the messages
// are documented to follow the language, whatever the country. Wine gives some of those
// locales an id of no language (0x0C00 for de_BE) but picks the string table by the locale's
// name, which is the language's table: the main id picks the same one.
constexpr LocaleId kLocales[] = {
    {"ar_SA", 0x0401}, {"bg_BG", 0x0402}, {"ca_ES", 0x0403}, {"zh_CN", 0x0804}, {"zh_TW", 0x0404},
    {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"cs_CZ", 0x0405}, {"da_DK", 0x0406}, {"de_DE", 0x0407},
    {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407}, {"el_GR", 0x0408},
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"es_ES", 0x0C0A}, {"es_MX", 0x080A},
    {"fi_FI", 0x040B}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C},
    {"fr_LU", 0x140C}, {"he_IL", 0x040D}, {"hu_HU", 0x040E}, {"is_IS", 0x040F}, {"it_IT", 0x0410},
    {"it_CH", 0x0810}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"nb_NO", 0x0414}, {"pl_PL", 0x0415}, {"pt_PT", 0x0816}, {"pt_BR", 0x0416}, {"ro_RO", 0x0418},
    {"ru_RU", 0x0419}, {"hr_HR", 0x041A}, {"sk_SK", 0x041B}, {"sv_SE", 0x041D}, {"sv_FI", 0x081D},
    {"th_TH", 0x041E}, {"tr_TR", 0x041F}, {"uk_UA", 0x0422}, {"sl_SI", 0x0424}, {"et_EE", 0x0425},
    {"lv_LV", 0x0426}, {"lt_LT", 0x0427},
};

// name is "ll" or "ll_CC"; 0 for a language not listed.
std::uint16_t lookup(std::string_view name) {
    const std::string_view language = name.substr(0, name.find('_'));
    std::uint16_t first = 0;
    for (const LocaleId& locale : kLocales) {
        if (locale.name == name)
            return locale.language;
        if (!first && locale.name.substr(0, 2) == language)
            first = locale.language;
    }
    return first;
}

} // namespace

std::uint16_t languageOfLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]: only language and territory name a language id.
    locale = locale.substr(0, locale.find_first_of(".@"));
    const std::size_t underscore = locale.find('_');
    const std::string_view language = locale.substr(0, underscore);
    if (language.size() < 2 || language.size() > 3)
        return kEnglishUs;
    const std::uint16_t id = lookup(locale);
    return id ? id : kEnglishUs;
}

std::uint16_t uiLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value && *value)
            return languageOfLocale(value);
    return kEnglishUs;
}

std::array<std::uint16_t, 4> resourceLanguages(std::uint16_t ui) {
    return {kLanguageNeutral, ui, static_cast<std::uint16_t>(ui & 0x3FF), kEnglishUs};
}

} // namespace tavlo::platform::portable
