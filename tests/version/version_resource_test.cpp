// The version resources of the Windows binaries, read back as a file's properties are read on
// Windows. They are a Windows-only artefact: the Linux build has no reader for them and its
// shared object carries none, so this program is built and run by the Windows build alone.
//
// It checks the binaries of the build, or, when TAVLO_VERSION_BINARIES names a folder, those in
// it (the packages' test points it at the unpacked zip).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

class VersionInfo {
public:
    explicit VersionInfo(const std::wstring& file) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
        if (size == 0)
            return;
        data_.resize(size);
        if (!GetFileVersionInfoW(file.c_str(), 0, size, data_.data()))
            data_.clear();
    }

    bool present() const { return !data_.empty(); }

    const VS_FIXEDFILEINFO* fixed() const {
        UINT size = 0;
        const void* at = query(L"\\", size);
        return at && size >= sizeof(VS_FIXEDFILEINFO) ? static_cast<const VS_FIXEDFILEINFO*>(at)
                                                      : nullptr;
    }

    // (language, code page) pairs, in the order the resource lists them.
    std::vector<std::pair<WORD, WORD>> translations() const {
        UINT size = 0;
        const auto* at = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation", size));
        std::vector<std::pair<WORD, WORD>> pairs;
        for (UINT i = 0; at && i + 1 < size / sizeof(WORD); i += 2)
            pairs.emplace_back(at[i], at[i + 1]);
        return pairs;
    }

    std::optional<std::wstring> string(WORD language, WORD codePage, const wchar_t* name) const {
        wchar_t path[64];
        std::swprintf(path, 64, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, name);
        UINT size = 0;
        const auto* at = static_cast<const wchar_t*>(query(path, size));
        if (!at)
            return std::nullopt;
        return std::wstring(at, wcsnlen(at, size));
    }

private:
    const void* query(const wchar_t* path, UINT& size) const {
        void* at = nullptr;
        if (data_.empty() || !VerQueryValueW(data_.data(), path, &at, &size))
            return nullptr;
        return at;
    }

    std::vector<unsigned char> data_;
};

BOOL CALLBACK addLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::set<WORD>*>(languages)->insert(language);
    return TRUE;
}

BOOL CALLBACK addNameLanguages(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR languages) {
    EnumResourceLanguagesW(module, type, name, addLanguage, languages);
    return TRUE;
}

// The languages of a file's string tables, read through the loader as data.
std::set<WORD> stringTableLanguages(const std::wstring& file) {
    std::set<WORD> languages;
    HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return {0xFFFF};
    EnumResourceNamesW(module, MAKEINTRESOURCEW(6), addNameLanguages,
                       reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(module);
    return languages;
}

std::wstring binary(const wchar_t* built, const wchar_t* name) {
    const char* folder = std::getenv("TAVLO_VERSION_BINARIES");
    if (!folder || !*folder)
        return built;
    std::wstring path(folder, folder + std::strlen(folder));
    return path + L"/" + name;
}

constexpr WORD kUnicode = 1200;

TEST(VersionResource, NamesTheProjectVersionAndTheFile) {
    struct Text {
        WORD language;
        const wchar_t* description;
    };
    struct Row {
        const wchar_t* built; // the build's own file
        const wchar_t* name;  // its original file name
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
        ASSERT_TRUE(info.present()) << "GetFileVersionInfoW failed: " << GetLastError();

        const VS_FIXEDFILEINFO* fixed = info.fixed();
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, versionMs);
        EXPECT_EQ(fixed->dwFileVersionLS, versionLs);
        EXPECT_EQ(fixed->dwProductVersionMS, versionMs);
        EXPECT_EQ(fixed->dwProductVersionLS, versionLs);
        EXPECT_EQ(fixed->dwFileType, row.fileType);
        EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
        EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "a debug or private build";

        std::vector<std::pair<WORD, WORD>> expected;
        std::set<WORD> languages;
        for (const Text& text : row.texts) {
            expected.emplace_back(text.language, kUnicode);
            languages.insert(text.language);
        }
        EXPECT_EQ(info.translations(), expected);
        // A language is claimed exactly where the file's own tables have one.
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
            for (const auto& [name, value] : strings)
                EXPECT_EQ(info.string(text.language, kUnicode, name), value)
                    << std::string(name, name + std::wcslen(name)) << " in block " << std::hex
                    << text.language;
        }
    }
}

} // namespace
