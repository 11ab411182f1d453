// The Linux module service. String resources come straight from PE files (the resource module,
// a driver's notice module inside a Wine prefix); code entry points come from ELF shared
// objects through the dynamic loader. A PE file is never executed here, so it offers no entry
// points and a product hook that is a Windows DLL simply yields nothing. Where modules are
// looked for, and which files count as one, is module_search.h's.
#pragma once

#include "platform/modules.h"

#include <memory>
#include <mutex>
#include <vector>

namespace tavlo::platform::portable {

class PosixModules final : public ModuleService {
public:
    PosixModules();
    ~PosixModules() override;

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

    struct Object; // what a ModuleHandle points to

private:
    Object* find(ModuleHandle module) const; // null unless module is one of ours
    ModuleHandle open(const char16_t* nameOrPath, bool resourcesOnly);
    ModuleHandle refuse(std::u16string_view name, const std::string& path, std::string reason);

    // Enough to tell what went wrong, and bounded however often a host asks.
    static constexpr std::size_t kMaxRefusals = 32;

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Object>> objects_;
    std::vector<ModuleRefusal> refusals_;
};

} // namespace tavlo::platform::portable
