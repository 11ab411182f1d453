#include "platform/win32/modules_win32.h"

#include "platform/utf.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace tavlo::platform::win32 {

namespace {

// Why the loader is asked the way it is. LoadLibraryW resolves a bare name, or a relative path,
// through the standard search order, which after the system folders takes the current
// directory: a library inside someone else's process would run whatever "userdata.dll" or
// "hhctrl.ocx" a document folder holds. So:
// - a bare name goes to LoadLibraryExW with LOAD_LIBRARY_SEARCH_APPLICATION_DIR and
//   LOAD_LIBRARY_SEARCH_SYSTEM32 (the program's folder, then System32; the loader's own list of
//   known and already loaded modules still comes first), then to this library's own folder as a
//   full path. Wine 8 implements these flags as Windows 8 and later (and Windows 7 with
//   KB2533623) do.
// - a relative path with folders (".\x.dll", "sub\x.dll") is tried below the program's folder,
//   then below the library's own: Windows searches its folders for those too, and again the
//   current directory is left out. A drive-relative path ("C:x.dll") names a folder only the
//   current directory of that drive knows, and is refused.
// - a full path is loaded as it is, with LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR and the default
//   folders, so that the modules it imports come from its own folder and the system's, not the
//   current directory either.
// - a file that doesn't start as a Windows module does is refused before the loader sees it.
// The resource module is only ever read for strings: it is mapped as an image resource, which
// runs none of its code, from the library's folder, the program's or a folder on PATH, each as a
// full path (a PATH entry such as "." would be the current directory again). A bare name is
// never handed to a data-file load: Wine 8 searches one the old way, current directory
// included, whatever search flags come with it (a case in the tests shows it).
constexpr DWORD kSearchFolders = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
constexpr DWORD kFullPath = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
constexpr DWORD kResourcesOnly = LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE;

void anchor() {}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool isDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool isDriveRelative(std::wstring_view name) {
    return name.size() >= 2 && isDriveLetter(name[0]) && name[1] == L':' &&
           (name.size() == 2 || !isSeparator(name[2]));
}

// "X:\...", "\\server\share\..." and device paths: the file is named whatever the current
// directory is. A path from the root of the current drive ("\x\y.dll") is made full first.
bool isAnchored(std::wstring_view name) {
    return !name.empty() && (isSeparator(name[0]) || (name.size() >= 3 && isDriveLetter(name[0]) &&
                                                      name[1] == L':' && isSeparator(name[2])));
}

std::wstring fileNameOf(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            // Wine names a file outside every drive by its NT name without the "\??\"
            // ("unix\work\x.exe"); "\\?\unix\work\x.exe" is how Win32 calls spell it.
            if (path.size() > 5 &&
                CompareStringOrdinal(path.c_str(), 5, L"unix\\", 5, TRUE) == CSTR_EQUAL)
                path.insert(0, L"\\\\?\\");
            return path;
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

std::wstring folderOf(const std::wstring& file) {
    const std::size_t cut = file.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : file.substr(0, cut + 1);
}

// The folder of the module holding this code (the library, or a program it is linked into).
std::wstring ownFolder() {
    HMODULE own = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &own))
        return {};
    return folderOf(fileNameOf(own));
}

std::wstring programFolder() {
    return folderOf(fileNameOf(nullptr));
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return path;
    std::wstring full(n, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (written == 0 || written >= n)
        return path;
    full.resize(written);
    return full;
}

// The absolute folders named by PATH, in order.
std::vector<std::wstring> pathFolders() {
    std::vector<std::wstring> folders;
    const DWORD n = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (n == 0)
        return folders;
    std::wstring value(n, L'\0');
    value.resize(GetEnvironmentVariableW(L"PATH", value.data(), n));
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(L';', start);
        if (end == std::wstring::npos)
            end = value.size();
        std::wstring folder = value.substr(start, end - start);
        start = end + 1;
        folder.erase(std::remove(folder.begin(), folder.end(), L'"'), folder.end());
        // Only full paths: "." or "bin" would be the current directory again, "\\x" its drive's.
        if (isAnchored(folder) && (!isSeparator(folder[0]) || folder.rfind(L"\\\\", 0) == 0))
            folders.push_back(folder.back() == L'\\' ? folder : folder + L'\\');
    }
    return folders;
}

// Whether path starts as every Windows module does. Wine hands a file that doesn't to the Unix
// loader, in case it is a Winelib object: an ELF file named like a module would run there.
bool startsLikeAModule(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true; // what can't be read is the loader's to refuse, with its own reason
    char magic[2] = {};
    DWORD read = 0;
    const BOOL ok = ReadFile(file, magic, sizeof magic, &read, nullptr);
    CloseHandle(file);
    return !ok || (read == 2 && magic[0] == 'M' && magic[1] == 'Z');
}

std::string reasonOf(DWORD error) {
    wchar_t* text = nullptr;
    std::string reason;
    // The system's own words, in English where the system has them, and the code for searches.
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                       reinterpret_cast<LPWSTR>(&text), 0, nullptr) &&
        text) {
        reason = toUtf8(utf16(text));
        LocalFree(text);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                                   reason.back() == ' ' || reason.back() == '.'))
            reason.pop_back();
    }
    return (reason.empty() ? std::string("the loader refused it") : reason) + " (error " +
           std::to_string(error) + ")";
}

} // namespace

void* Win32Modules::tryLoad(const std::u16string& name, const std::wstring& path,
                            unsigned long flags) {
    if (isAnchored(path) && !startsLikeAModule(path)) {
        refuse(name, toUtf8(utf16(path.c_str())), "not a Windows module (no MZ header)");
        return nullptr;
    }
    if (HMODULE module = LoadLibraryExW(path.c_str(), nullptr, flags))
        return module;
    const DWORD error = GetLastError();
    // A file that isn't there is the search going on; one that is there and won't load is a
    // refusal worth telling.
    const DWORD attributes =
        isAnchored(path) ? GetFileAttributesW(path.c_str()) : INVALID_FILE_ATTRIBUTES;
    const bool there =
        attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (there || error == ERROR_BAD_EXE_FORMAT || error == ERROR_DLL_INIT_FAILED)
        refuse(name, toUtf8(utf16(path.c_str())),
               there && error == ERROR_MOD_NOT_FOUND ? "a module it imports is missing (error 126)"
                                                     : reasonOf(error));
    SetLastError(error);
    return nullptr;
}

ModuleHandle Win32Modules::load(const char16_t* nameOrPath) {
    return open(nameOrPath, false);
}

ModuleHandle Win32Modules::loadResources(const char16_t* nameOrPath) {
    return open(nameOrPath, true);
}

ModuleHandle Win32Modules::open(const char16_t* nameOrPath, bool resourcesOnly) {
    if (!nameOrPath || !*nameOrPath)
        return nullptr;
    const std::u16string asked(nameOrPath);
    const std::wstring name(wide(nameOrPath));
    const DWORD full = resourcesOnly ? kResourcesOnly : kFullPath;
    if (isAnchored(name))
        return tryLoad(asked, fullPath(name), full);
    if (isDriveRelative(name)) {
        refuse(asked, toUtf8(asked), "a drive-relative path, which the current directory decides");
        return nullptr;
    }
    const bool bare = name.find_first_of(L"\\/") == std::wstring::npos;
    // The folders as full paths; one that can't be had so is left out.
    std::wstring own = ownFolder(), program = programFolder();
    for (std::wstring* folder : {&own, &program})
        if (!isAnchored(*folder))
            folder->clear();
    std::vector<std::pair<std::wstring, DWORD>> tries; // a path or name, and how to load it
    if (bare && resourcesOnly) {
        // Full paths only: Wine's data-file load searches a bare name the old way, the current
        // directory included, whatever search flags it is given.
        for (const std::wstring* folder : {&own, &program})
            if (!folder->empty())
                tries.emplace_back(*folder + name, full);
        for (const std::wstring& folder : pathFolders())
            tries.emplace_back(folder + name, full);
    } else if (bare) {
        // The loader's own search, limited to the program's folder and System32.
        tries.emplace_back(name, kSearchFolders);
        if (!own.empty())
            tries.emplace_back(own + name, full);
    } else {
        for (const std::wstring* folder : {&program, &own})
            if (!folder->empty())
                tries.emplace_back(*folder + name, full);
    }
    for (const auto& [path, flags] : tries)
        if (void* module = tryLoad(asked, path, flags))
            return module;
    return nullptr;
}

void Win32Modules::refuse(const std::u16string& name, std::string path, std::string reason) {
    std::lock_guard lock(mutex_);
    const bool known = std::any_of(refusals_.begin(), refusals_.end(), [&](const auto& r) {
        return r.path == path && r.reason == reason;
    });
    if (!known && refusals_.size() < kMaxRefusals)
        refusals_.push_back({toUtf8(name), std::move(path), std::move(reason)});
}

std::vector<ModuleRefusal> Win32Modules::refusals() const {
    std::lock_guard lock(mutex_);
    return refusals_;
}

void* Win32Modules::entryPoint(ModuleHandle module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void* Win32Modules::entryPointByOrdinal(ModuleHandle module, std::uint16_t ordinal) {
    return reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
}

void Win32Modules::free(ModuleHandle module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

ModuleHandle Win32Modules::moduleContaining(const void* address) {
    MEMORY_BASIC_INFORMATION info{};
    // Only a completely filled record is trusted; otherwise the executable stands in.
    if (VirtualQuery(address, &info, sizeof info) != sizeof info)
        return nullptr;
    return info.AllocationBase;
}

// As GetModuleFileNameW answers (a name that doesn't fit is cut to the buffer, the terminator
// included, and the count is the buffer's size), but with the Win32 spelling of a file Wine finds
// outside every drive: composed from its bare NT name, a sibling's path would be relative.
std::uint32_t Win32Modules::moduleFileName(ModuleHandle module, char16_t* buffer,
                                           std::uint32_t capacity) {
    const std::wstring path = fileNameOf(static_cast<HMODULE>(module));
    if (path.empty() || capacity == 0)
        return 0;
    if (path.size() < capacity) {
        std::copy(path.begin(), path.end(), wide(buffer));
        buffer[path.size()] = u'\0';
        return static_cast<std::uint32_t>(path.size());
    }
    std::copy_n(path.begin(), capacity - 1, wide(buffer));
    buffer[capacity - 1] = u'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return capacity;
}

std::u16string Win32Modules::loadString(ModuleHandle module, std::uint32_t id) {
    // With a zero size LoadStringW hands out a pointer into the resource itself, so a string of
    // any length is read whole.
    const wchar_t* text = nullptr;
    const int length =
        LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return {};
    return std::u16string(utf16(text), static_cast<std::size_t>(length));
}

} // namespace tavlo::platform::win32
