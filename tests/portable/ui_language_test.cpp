// The language messages are shown in. Windows' loader picks a string table by the user's UI
// language; the Linux build picks one from the locale environment, German for every German
// locale. ctest runs the message check with a table of locale environments
// (TAVLO_TEST_MESSAGE_LANGUAGE says which table must win in this build); under Wine the
// portable choice is also compared with the real one.
#include "platform/portable/pe_resources.h"
#include "platform/portable/ui_language.h"
#include "platform/services.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tavlo::platform::portable {
namespace {

// The user UI language Wine 8 derives from LC_ALL for each name; a known language in a country
// without an id of its own takes the language's main one, where Wine's names no language (but
// Wine still shows that language's messages).
TEST(UiLanguage, LocaleNamesGiveWinesLanguageIds) {
    // clang-format off
    const std::pair<const char*, std::uint16_t> rows[] = {
        {"de", 0x0407}, {"de_DE.UTF-8", 0x0407}, {"de_AT.utf8", 0x0C07}, {"de_CH", 0x0807},
        {"de_DE@euro", 0x0407}, {"de_XX", 0x0407}, {"de_BE.UTF-8", 0x0407}, {"de_LU", 0x1007},
        {"fr_CM", 0x040C}, {"en_SE.UTF-8", 0x0409}, {"en_GB.UTF-8", 0x0809}, {"en_NZ", 0x1409},
        {"fr_FR@euro", 0x040C}, {"fr_CA", 0x0C0C}, {"es", 0x0C0A}, {"pt_BR", 0x0416},
        {"zh_TW", 0x0404}, {"ja_JP", 0x0411}, {"xx_YY", 0x0409}, {"C", 0x0409},
        {"POSIX", 0x0409}, {"C.UTF-8", 0x0409}, {"", 0x0409},
    };
    // clang-format on
    for (const auto& [locale, language] : rows)
        EXPECT_EQ(languageOfLocale(locale), language) << locale;
}

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A module with German (Germany) and US English tables: neutral comes first, then the UI
// language, then its language with a neutral sublanguage, then US English, then the first.
TEST(UiLanguage, StringTablesAreTriedInTheLoadersOrder) {
    PeStringTable table;
    ASSERT_TRUE(table.parse(readFile(TAVLO_TEST_DATA_DIR "/pe/strings32.dll")));
    const std::tuple<std::uint16_t, std::uint32_t, std::optional<std::u16string>> rows[] = {
        {0x0407, 1, u"Eins"},      {0x0C07, 1, u"One"},
        {0x040C, 1, u"One"},       {0x0407, 100, u"Gr\u00FC\u00DFe \u2603 \U0001D11E"},
        {0x0407, 2, std::nullopt},
    };
    for (const auto& [ui, id, expected] : rows)
        EXPECT_EQ(table.findPreferred(id, resourceLanguages(ui)), expected) << ui << " " << id;
}

// The build's own loader (LoadStringW under Wine) on the resource module, in the environment
// ctest gave this run.
TEST(UiLanguage, MessagesFollowTheEnvironment) {
    const char* expected = std::getenv("TAVLO_TEST_MESSAGE_LANGUAGE");
    if (!expected)
        GTEST_SKIP() << "run by ctest with a locale set";
    ModuleService& modules = *defaultServices().modules;
    const std::u16string path(TAVLO_RES_DLL, TAVLO_RES_DLL + sizeof TAVLO_RES_DLL - 1);
    Module res;
    ASSERT_TRUE(res.load(modules, path.c_str()));
    EXPECT_EQ(modules.loadString(res.handle(), 54),
              std::string(expected) == "de" ? u"Plotterkonfiguration" : u"Plotter Configuration");
#ifdef _WIN32
    // Wine gives a locale of a country without an id of its own (de_BE) an id of no language,
    // yet picks the language's table by the locale's name; the portable layer's id is the
    // language's main one, which picks the same table. Ids of a language must agree.
    const LANGID wine = GetUserDefaultUILanguage();
    if (PRIMARYLANGID(wine) != LANG_NEUTRAL) {
        EXPECT_EQ(uiLanguage(), wine);
    }
    PeStringTable table;
    ASSERT_TRUE(table.parse(readFile(TAVLO_RES_DLL)));
    for (std::uint32_t id : {1u, 54u, 55u, 57u, 61u})
        EXPECT_EQ(table.findPreferred(id, resourceLanguages(uiLanguage())),
                  modules.loadString(res.handle(), id));
#endif
}

} // namespace
} // namespace tavlo::platform::portable
