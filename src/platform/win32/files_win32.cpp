#include "platform/win32/files_win32.h"

#include "platform/win32/windows_api.h"

#include <sys/stat.h>

namespace tavlo::platform::win32 {

namespace {
void take(const WIN32_FIND_DATAW& data, DirEntry& entry) {
    entry.name.assign(utf16(data.cFileName));
    entry.attributes = data.dwFileAttributes;
}
} // namespace

Status Win32Files::openDirectory(const char16_t* directory, DirHandle* handle, DirEntry& first) {
    *handle = nullptr;
    std::wstring pattern(wide(directory ? directory : u""));
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return static_cast<Status>(GetLastError());
    take(data, first);
    *handle = find;
    return status::success;
}

bool Win32Files::nextEntry(DirHandle handle, DirEntry& entry) {
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(static_cast<HANDLE>(handle), &data))
        return false;
    take(data, entry);
    return true;
}

void Win32Files::closeDirectory(DirHandle handle) {
    FindClose(static_cast<HANDLE>(handle));
}

bool Win32Files::exists(const char16_t* path) {
    struct _stat64i32 info;
    return path && _wstat64i32(wide(path), &info) == 0;
}

} // namespace tavlo::platform::win32
