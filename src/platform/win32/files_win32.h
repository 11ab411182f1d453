#pragma once

#include "platform/files.h"

namespace tavlo::platform::win32 {

class Win32Files final : public FileService {
public:
    Status openDirectory(const char16_t* directory, DirHandle* handle, DirEntry& first) override;
    bool nextEntry(DirHandle handle, DirEntry& entry) override;
    void closeDirectory(DirHandle handle) override;
    bool identify(DirHandle handle, DirIdentity& identity) override;
    bool exists(const char16_t* path) override;
};

} // namespace tavlo::platform::win32
