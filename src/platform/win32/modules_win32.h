#pragma once

#include "platform/modules.h"

#include <mutex>
#include <string>
#include <vector>

namespace tavlo::platform::win32 {

class Win32Modules final : public ModuleService {
public:
    ModuleHandle load(const char16_t* nameOrPath) override;
    ModuleHandle loadResources(const char16_t* nameOrPath) override;
    std::vector<ModuleRefusal> refusals() const override;
    void* entryPoint(ModuleHandle module, const char* name) override;
    void* entryPointByOrdinal(ModuleHandle module, std::uint16_t ordinal) override;
    void free(ModuleHandle module) override;
    ModuleHandle moduleContaining(const void* address) override;
    std::uint32_t moduleFileName(ModuleHandle module, char16_t* buffer,
                                 std::uint32_t capacity) override;
    std::u16string loadString(ModuleHandle module, std::uint32_t id) override;

private:
    ModuleHandle open(const char16_t* nameOrPath, bool resourcesOnly);
    // One attempt of a search: the module, or null after recording why a file that is there
    // was refused. Takes and gives Win32 types without naming them here (HMODULE, DWORD).
    void* tryLoad(const std::u16string& name, const std::wstring& path, unsigned long flags);
    void refuse(const std::u16string& name, std::string path, std::string reason);

    static constexpr std::size_t kMaxRefusals = 32;
    mutable std::mutex mutex_;
    std::vector<ModuleRefusal> refusals_;
};

} // namespace tavlo::platform::win32
