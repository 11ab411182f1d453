// The version resources of the Windows binaries, read back as a file's properties are read on
// Windows (the Linux build has none, so only the Windows build runs this). It checks the build's
// binaries, or those in the folder TAVLO_VERSION_BINARIES names (the packages' unpacked zip).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

// A file's version resource; query() gives what a path into it names, or null.
struct VersionInfo {
    std::vector<unsigned char> data;

    explicit VersionInfo(const std::wstring& file) {
        DWORD ignored = 0;
        data.resize(GetFileVersionInfoSizeW(file.c_str(), &ignored));
        if (!data.empty() && !GetFileVersionInfoW(file.c_str(), 0, data.size(), data.data()))
            data.clear();
    }
    const void* query(const wchar_t* path, UINT& size) const {
        void* at = nullptr;
        return !data.empty() && VerQueryValueW(data.data(), path, &at, &size) ? at : nullptr;
    }
};

// The languages of a file's string tables, read through the loader as data.
std::set<WORD> stringTableLanguages(const std::wstring& file) {
    std::set<WORD> languages;
    const HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return {0xFFFF};
    static constexpr ENUMRESLANGPROCW addLanguage = [](HMODULE, LPCWSTR, LPCWSTR, WORD language,
                                                       LONG_PTR set) -> BOOL {
        reinterpret_cast<std::set<WORD>*>(set)->insert(language);
        return TRUE;
    };
    const auto addNameLanguages = [](HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR set) -> BOOL {
        EnumResourceLanguagesW(m, type, name, addLanguage, set);
        return TRUE;
    };
    EnumResourceNamesW(module, MAKEINTRESOURCEW(6), addNameLanguages,
                       reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(module);
    return languages;
}

std::wstring binary(const wchar_t* built, const wchar_t* name) {
    const char* folder = std::getenv("TAVLO_VERSION_BINARIES");
    if (!folder || !*folder)
        return built;
    return std::wstring(folder, folder + std::strlen(folder)) + L"/" + name;
}

TEST(VersionResource, NamesTheProjectVersionAndTheFile) {
    struct Text {
        WORD language;
        const wchar_t* description;
    };
    struct Row {
        const wchar_t *built, *name; // the build's own file, and its original file name
        DWORD fileType;
        std::vector<Text> texts; // in the order of the Translation list
    };
    const Row rows[] = {
        {L"" TAVLO_LIBRARY_FILE,
         L"tavlo9.dll",
         VFT_DLL,
         {{0x0000, L"tavlo plotting registry and settings library"}}},
        // Its message tables are US English and German: so is its version resource, the
        // fallback language first.
        {L"" TAVLO_RES_DLL,
         L"tavlo9Res.dll",
         VFT_DLL,
         {{0x0409, L"tavlo message texts"}, {0x0007, L"tavlo-Meldungstexte"}}},
        {L"" TAVLO_TOOL_FILE, L"tavlo.exe", VFT_APP, {{0x0000, L"tavlo command-line tool"}}},
    };
    const std::wstring version(L"" TAVLO_VERSION);
    const DWORD versionMs = TAVLO_VERSION_MAJOR << 16 | TAVLO_VERSION_MINOR;
    const DWORD versionLs = TAVLO_VERSION_PATCH << 16 | TAVLO_VERSION_TWEAK;
    for (const Row& row : rows) {
        const std::wstring file = binary(row.built, row.name);
        SCOPED_TRACE(std::string(file.begin(), file.end()));
        const VersionInfo info(file);
        ASSERT_FALSE(info.data.empty()) << "GetFileVersionInfoW failed: " << GetLastError();
        UINT size = 0;
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(info.query(L"\\", size));
        ASSERT_TRUE(fixed && size >= sizeof *fixed);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, versionMs);
        EXPECT_EQ(fixed->dwFileVersionLS, versionLs);
        EXPECT_EQ(fixed->dwProductVersionMS, versionMs);
        EXPECT_EQ(fixed->dwProductVersionLS, versionLs);
        EXPECT_EQ(fixed->dwFileType, row.fileType);
        EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
        EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "a debug or private build";

        // Each language with the Unicode code page; a language is claimed exactly where the
        // file's own string tables have one.
        std::vector<WORD> translations;
        std::set<WORD> languages;
        for (const Text& text : row.texts) {
            translations.insert(translations.end(), {text.language, 1200});
            languages.insert(text.language);
        }
        const auto* words =
            static_cast<const WORD*>(info.query(L"\\VarFileInfo\\Translation", size));
        EXPECT_EQ(std::vector<WORD>(words, words + (words ? size / 2 : 0)), translations);
        const std::set<WORD> tables = stringTableLanguages(file);
        EXPECT_EQ(languages, tables.empty() ? std::set<WORD>{0x0000} : tables);

        const std::wstring original(row.name), stem = original.substr(0, original.rfind(L'.'));
        for (const Text& text : row.texts) {
            const std::pair<const wchar_t*, std::wstring> strings[] = {
                {L"CompanyName", L"Veltrane"},   {L"FileDescription", text.description},
                {L"FileVersion", version},       {L"ProductVersion", version},
                {L"OriginalFilename", original}, {L"InternalName", stem},
                {L"ProductName", L"tavlo"},
            };
            for (const auto& [name, value] : strings) {
                wchar_t path[64];
                std::swprintf(path, 64, L"\\StringFileInfo\\%04x04b0\\%ls", text.language, name);
                const auto* at = static_cast<const wchar_t*>(info.query(path, size));
                EXPECT_EQ(at ? std::wstring(at, wcsnlen(at, size)) : L"(none)", value)
                    << std::string(name, name + std::wcslen(name)) << " in block " << std::hex
                    << text.language;
            }
        }
    }
}

} // namespace
