// The module service of the build's own backend: the Linux reader of PE string tables must give
// what LoadStringW gives for the same file, and module names and handles must behave like the
// loader's.
#include "platform/portable/pe_resources.h"
#include "platform/portable/ui_language.h"
#include "platform/services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using tavlo::platform::defaultServices;
using tavlo::platform::ModuleHandle;
using tavlo::platform::ModuleService;

ModuleService& modules() {
    return *defaultServices().modules;
}

std::u16string resDll() {
    return std::filesystem::path(TAVLO_RES_DLL).u16string();
}

std::u16string fileName(ModuleHandle module) {
    char16_t buffer[4096] = {};
    const auto length = modules().moduleFileName(module, buffer, 4096);
    return std::u16string(buffer, length < 4096 ? length : 0);
}

// The last component, lower-cased (ASCII is enough for the build's own file names), without
// ".exe" so that both builds' program names compare equal.
std::u16string baseName(std::u16string path) {
    path.erase(0, path.find_last_of(u"\\/") + 1);
    for (auto& c : path)
        c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    if (path.size() > 4 && path.compare(path.size() - 4, 4, u".exe") == 0)
        path.resize(path.size() - 4);
    return path;
}

struct Loaded : tavlo::platform::Module {
    explicit Loaded(const std::u16string& name) { load(modules(), name.c_str()); }
};

TEST(Modules, ResourceStringsMatchTheFilesTables) {
    Loaded res(resDll());
    ASSERT_NE(res.handle(), nullptr);
    // Loading the same file twice gives one handle; one free leaves the other load's in place.
    const ModuleHandle again = modules().load(resDll().c_str());
    EXPECT_EQ(again, res.handle());
    modules().free(again);
    std::ifstream in(TAVLO_RES_DLL, std::ios::binary);
    tavlo::platform::portable::PeStringTable table;
    ASSERT_TRUE(table.parse(std::string(std::istreambuf_iterator<char>(in), {})));
    // Under Wine this pins the reader to LoadStringW, empty answers included. ctest runs this
    // in the C locale: US English.
    namespace portable = tavlo::platform::portable;
    const auto languages = portable::resourceLanguages(portable::uiLanguage());
    for (std::uint32_t id : {0u, 1u, 2u, 16u, 54u, 55u, 56u, 57u, 61u, 62u, 65535u, 65536u + 54u})
        EXPECT_EQ(modules().loadString(res.handle(), id),
                  table.findPreferred(id, languages).value_or(u""))
            << id;
}

TEST(Modules, BareNamesAreFoundNextToTheProgramWithoutRegardToCase) {
    // The test programs and the resource module share the build's bin directory.
    for (const std::u16string name : {u"TAVLO9RES.DLL", u"tavlo9res"}) {
        Loaded module(name);
        ASSERT_NE(module.handle(), nullptr) << std::string(name.begin(), name.end());
        EXPECT_EQ(baseName(fileName(module.handle())), u"tavlo9res.dll");
        EXPECT_EQ(modules().loadString(module.handle(), 54), u"Plotter Configuration");
        // A resource module has no entry points.
        for (const char* entry : {"DllMain", "?GetProductRegistryRootKey@@YAIPEA_WK@Z", ""})
            EXPECT_EQ(modules().entryPoint(module.handle(), entry), nullptr) << entry;
        EXPECT_EQ(modules().entryPointByOrdinal(module.handle(), 1), nullptr);
    }
}

TEST(Modules, WhatIsNoModuleDoesNotLoad) {
    const std::u16string rows[] = {
        resDll() + u".missing",
        u"tavlo_no_such_module.dll",
        std::filesystem::path(TAVLO_RES_DLL).parent_path().u16string(),            // a directory
        std::filesystem::path(TAVLO_TEST_DATA_DIR "/pe/strings32.rc").u16string(), // text
        u"",
    };
    for (const auto& name : rows)
        EXPECT_EQ(modules().load(name.c_str()), nullptr) << std::string(name.begin(), name.end());
}

TEST(Modules, TheModuleContainingCodeHereIsThisProgram) {
    const ModuleHandle self = modules().moduleContaining(reinterpret_cast<const void*>(&baseName));
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(baseName(fileName(self)), u"conformance_tests");
    EXPECT_EQ(fileName(self), fileName(nullptr));
    EXPECT_EQ(modules().moduleContaining(reinterpret_cast<const void*>(&fileName)), self);
}

TEST(Modules, FileNameIsCutLikeGetModuleFileName) {
    Loaded res(resDll());
    const std::u16string full = fileName(res.handle());
    const auto n = static_cast<std::uint32_t>(full.size());
    ASSERT_GT(n, 4u);
    // {capacity, result}. When the path is cut, Windows terminates it and Wine doesn't: only the
    // first capacity - 1 characters are the same on both.
    const std::pair<std::uint32_t, std::uint32_t> rows[] = {
        {n + 1, n}, {n, n}, {5, 5}, {1, 1}, {0, 0}};
    for (const auto& [capacity, result] : rows) {
        std::u16string buffer(n + 2, u'#');
        EXPECT_EQ(modules().moduleFileName(res.handle(), buffer.data(), capacity), result)
            << capacity;
        const std::size_t same = capacity ? capacity - 1 : 0;
        EXPECT_EQ(buffer.substr(0, same), full.substr(0, same)) << capacity;
        EXPECT_TRUE(result == capacity || buffer[result] == u'\0') << capacity;
    }
    EXPECT_EQ(modules().moduleFileName(res.handle(), nullptr, 0), 0u);
}

#ifndef _WIN32
// ELF objects carry the code entry points on Linux; the C math library is always at hand.
TEST(PosixModules, EntryPointsComeFromTheElfObjectItself) {
    std::u16string libm;
    for (const char* candidate : {"/lib/x86_64-linux-gnu/libm.so.6",
                                  "/usr/lib/x86_64-linux-gnu/libm.so.6", "/lib64/libm.so.6"}) {
        if (std::filesystem::exists(candidate))
            libm = std::filesystem::path(candidate).u16string();
    }
    if (libm.empty())
        GTEST_SKIP() << "no libm.so.6 found";
    Loaded math(libm);
    ASSERT_NE(math.handle(), nullptr);
    void* cosine = modules().entryPoint(math.handle(), "cos");
    ASSERT_NE(cosine, nullptr);
    const std::pair<const char*, void*> rows[] = {
        {"?cos@@YANN@Z", cosine}, // decorated: its plain identifier
        {"?cos", cosine},
        {"malloc", nullptr}, // the C library's, reachable through dlsym but not libm's own
        {"??0cos@@QEAA@XZ", nullptr},
        {"no_such_function", nullptr},
    };
    for (const auto& [name, expected] : rows)
        EXPECT_EQ(modules().entryPoint(math.handle(), name), expected) << name;
    EXPECT_EQ(modules().entryPointByOrdinal(math.handle(), 1), nullptr);
    EXPECT_EQ(modules().loadString(math.handle(), 1), u"");
    EXPECT_EQ(modules().moduleContaining(cosine), math.handle());
    EXPECT_EQ(baseName(fileName(math.handle())), u"libm.so.6");
}
#endif

} // namespace
