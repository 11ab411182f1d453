#include "platform/win32/files_win32.h"

#include "platform/win32/windows_api.h"

#include <sys/stat.h>

namespace tavlo::platform::win32 {

namespace {
void take(const WIN32_FIND_DATAW& data, DirEntry& entry) {
    entry.name.assign(utf16(data.cFileName));
    entry.attributes = data.dwFileAttributes;
}

// A find handle tells nothing of the directory it lists, so the listing keeps the path it was
// opened with, for the identity to be asked of the directory itself.
struct Listing {
    HANDLE find;
    std::wstring directory;
};
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
    pattern.pop_back();
    *handle = new Listing{find, std::move(pattern)};
    return status::success;
}

bool Win32Files::nextEntry(DirHandle handle, DirEntry& entry) {
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(static_cast<Listing*>(handle)->find, &data))
        return false;
    take(data, entry);
    return true;
}

void Win32Files::closeDirectory(DirHandle handle) {
    const auto* listing = static_cast<Listing*>(handle);
    FindClose(listing->find);
    delete listing;
}

// Opened with backup semantics a directory is opened, not listed; a link or junction on the way
// is followed, so the answer is the directory the listing reached. Volume serials can repeat
// (cloned disks; Wine gives every pseudo file system the serial 0), so the creation time joins
// the file index. Only attributes are read.
bool Win32Files::identify(DirHandle handle, DirIdentity& identity) {
    const auto* listing = static_cast<const Listing*>(handle);
    if (!listing)
        return false;
    HANDLE file = CreateFileW(listing->directory.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    identity = {info.dwVolumeSerialNumber,
                std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow,
                std::uint64_t{info.ftCreationTime.dwHighDateTime} << 32 |
                    info.ftCreationTime.dwLowDateTime};
    return true;
}

bool Win32Files::exists(const char16_t* path) {
    struct _stat64i32 info;
    return path && _wstat64i32(wide(path), &info) == 0;
}

} // namespace tavlo::platform::win32
