#pragma once

#include "platform/modules.h"

namespace tavlo::platform::win32 {

class Win32Modules final : public ModuleService {
public:
    ModuleHandle load(const char16_t* nameOrPath) override;
    void* entryPoint(ModuleHandle module, const char* name) override;
    void* entryPointByOrdinal(ModuleHandle module, std::uint16_t ordinal) override;
    void free(ModuleHandle module) override;
    ModuleHandle moduleContaining(const void* address) override;
    std::uint32_t moduleFileName(ModuleHandle module, char16_t* buffer,
                                 std::uint32_t capacity) override;
    std::u16string loadString(ModuleHandle module, std::uint32_t id) override;
};

} // namespace tavlo::platform::win32
