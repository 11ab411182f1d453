// Loading modules and reading from them: the resource module, product hooks, notice modules and
// the help control. The calls mirror LoadLibraryW / GetProcAddress / FreeLibrary /
// GetModuleFileNameW / LoadStringW, because the library's contracts (a hook's path, a notice's
// string 1, an entry point by ordinal) are defined in their terms.
#pragma once

#include "platform/handle.h"
#include "platform/status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavlo::platform {

using ModuleHandle = void*;

// A file the service found for a module and would not load, and why: the library prints nothing
// in a host's process, so a program that wants to tell (the tool) asks for these.
struct ModuleRefusal {
    std::string module; // the name or path asked for (UTF-8)
    std::string path;   // the file found for it, as this platform names it
    std::string reason;
};

class ModuleService {
public:
    virtual ~ModuleService() = default;

    // A bare name, or a path relative to no drive or root, goes through the backend's module
    // search, which never includes the current directory; a full path is loaded as given.
    // Null on failure.
    virtual ModuleHandle load(const char16_t* nameOrPath) = 0;

    // Loads a module only to read its string resources (loadString): none of its code runs.
    // A bare name is looked for where an installation keeps the library's resource module:
    // beside the library, beside the program, and (by backend) its data folder or PATH; never
    // in the system folders or the current directory.
    virtual ModuleHandle loadResources(const char16_t* nameOrPath) = 0;

    // Files refused so far (a bounded list, oldest first).
    virtual std::vector<ModuleRefusal> refusals() const { return {}; }

    // Decorated names are looked up as given; see the portable backend for ELF objects.
    virtual void* entryPoint(ModuleHandle module, const char* name) = 0;
    virtual void* entryPointByOrdinal(ModuleHandle module, std::uint16_t ordinal) = 0;

    virtual void free(ModuleHandle module) = 0;

    // The module whose image holds address, as VirtualQuery's allocation base would give it;
    // null stands for the process's executable. The answer is not a reference to free.
    virtual ModuleHandle moduleContaining(const void* address) = 0;

    // GetModuleFileNameW: copies at most capacity - 1 characters and a terminator; returns the
    // number of characters copied (capacity when the path was cut), 0 on failure.
    virtual std::uint32_t moduleFileName(ModuleHandle module, char16_t* buffer,
                                         std::uint32_t capacity) = 0;

    // String resource id of module; the empty string when the module has none (a string table
    // can't tell a missing string from an empty one, and neither can LoadStringW).
    virtual std::u16string loadString(ModuleHandle module, std::uint32_t id) = 0;
};

struct ModuleTraits {
    using Service = ModuleService;
    using Raw = ModuleHandle;
    static void close(ModuleService& service, ModuleHandle module) noexcept {
        service.free(module);
    }
};

// Move-only owner of a loaded module.
class Module {
public:
    bool load(ModuleService& service, const char16_t* nameOrPath) {
        module_.reset();
        module_.reset(service, service.load(nameOrPath));
        return static_cast<bool>(module_);
    }

    void reset() { module_.reset(); }

    // Gives up ownership without freeing (a module that must stay loaded for the process).
    ModuleHandle release() { return module_.release(); }

    ModuleHandle handle() const { return module_.get(); }
    explicit operator bool() const { return static_cast<bool>(module_); }

private:
    Handle<ModuleTraits> module_;
};

} // namespace tavlo::platform
