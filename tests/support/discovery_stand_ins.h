// Stand-ins for what app key discovery touches outside the registry: product hooks that are
// functions of the test process, a file system that knows a fixed set of paths, and a registry
// that records which keys were opened. LibrarySandbox puts them together on a scratch registry.
#pragma once

#include "frame/state.h"
#include "registry_fixture.h"
#include "stand_ins.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tavlo::test {

// Modules: "tavlo9Res.dll" is a string table; every "userdata.dll" added with addHook is a hook
// whose entry point is a function of this process; nothing else loads. moduleFileName reports
// libraryPath for every module (0 when it is empty, as a failed call would).
class HookModules final : public platform::ModuleService {
public:
    struct Hook {
        std::u16string key; // written into the buffer
        std::uint32_t result = 1;
        bool hasEntryPoint = true;
    };
    struct Call {
        std::u16string bufferOnEntry;
        std::uint32_t capacity;
    };

    HookModules(std::u16string libraryPath, std::map<std::uint32_t, std::u16string> strings);

    void addHook(const std::u16string& path, Hook hook) { hooks_[path] = std::move(hook); }
    platform::ModuleHandle table() { return &strings_; }

    platform::ModuleHandle load(const char16_t* nameOrPath) override;
    void* entryPoint(platform::ModuleHandle module, const char* name) override;
    void* entryPointByOrdinal(platform::ModuleHandle, std::uint16_t) override { return nullptr; }
    void free(platform::ModuleHandle module) override;
    platform::ModuleHandle moduleContaining(const void*) override { return &libraryPath; }
    std::uint32_t moduleFileName(platform::ModuleHandle module, char16_t* buffer,
                                 std::uint32_t capacity) override;
    std::u16string loadString(platform::ModuleHandle module, std::uint32_t id) override;

    std::u16string libraryPath;
    std::vector<std::u16string> loads; // every name or path asked for except the resource module
    std::vector<Call> calls;
    int hookLoads = 0;
    int frees = 0;
    int fileNameQueries = 0;

private:
    static std::uint32_t entry(char16_t* buffer, std::uint32_t capacity);

    std::map<std::uint32_t, std::u16string> strings_;
    std::map<std::u16string, Hook> hooks_;
};

// Files: exactly the given paths exist (compared as given).
class KnownFiles final : public platform::FileService {
public:
    std::set<std::u16string> paths;

    platform::Status openDirectory(const char16_t*, platform::DirHandle*,
                                   platform::DirEntry&) override {
        return platform::status::path_not_found;
    }
    bool nextEntry(platform::DirHandle, platform::DirEntry&) override { return false; }
    void closeDirectory(platform::DirHandle) override {}
    bool exists(const char16_t* path) override { return paths.count(path) != 0; }
};

// The build's registry, with every open recorded and every value query counted.
class RecordingRegistry final : public platform::RegistryService {
public:
    RecordingRegistry() : real_(*platform::defaultServices().registry) {}

    std::vector<std::pair<platform::Root, std::u16string>> opens;
    int queries = 0;

    std::vector<std::u16string> opensBelow(platform::Root root) const;

    platform::Status openKey(platform::Root root, const char16_t* subKey,
                             platform::KeyHandle* key) override;
    platform::Status queryValue(platform::KeyHandle key, const char16_t* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override;
    platform::Status enumValue(platform::KeyHandle key, std::uint32_t index, char16_t* name,
                               std::uint32_t* nameCount, std::uint32_t* type, std::uint8_t* data,
                               std::uint32_t* dataSize) override {
        return real_.enumValue(key, index, name, nameCount, type, data, dataSize);
    }
    platform::Status enumKey(platform::KeyHandle key, std::uint32_t index, char16_t* name,
                             std::uint32_t* nameCount) override {
        return real_.enumKey(key, index, name, nameCount);
    }
    void closeKey(platform::KeyHandle key) override { real_.closeKey(key); }

private:
    platform::RegistryService& real_;
};

inline const std::u16string kLibraryDir = u"C:\\Program Files\\Plot\\";
inline const std::u16string kLibraryHook = kLibraryDir + u"userdata.dll";
inline const std::u16string kOutprintKey = u"Software\\Veltrane\\Outprint";

// A freshly loaded library on an empty scratch registry, with the stand-ins above, message
// texts that show their id and insert ("M55[%1]"), and a recording error handler installed.
struct LibrarySandbox {
    LibrarySandbox();

    // "userdata.dll" beside the library answers key.
    void hookBesideLibrary(const std::u16string& key) { modules.addHook(kLibraryHook, {key}); }
    // The extension's file type opens with command (stored with the given type).
    void associate(const std::u16string& extension, const std::u16string& command,
                   std::uint32_t type = platform::regtype::sz);
    // Registers name in the catalogue with data; when location is given, the application's
    // machine key holds it as "KoraLocation" or "Location" (as the host test of the key
    // chooses) and it exists on disk without its trailing backslashes.
    void registerApp(const std::u16string& name, const char16_t* location, bool userKey = false,
                     std::uint32_t mark = 0);
    // What the handler has been shown, messages only.
    std::vector<std::u16string> reports() const;

    ScratchRegistry scratch;
    RecordingRegistry registry;
    HookModules modules;
    KnownFiles files;
    frame::ScopedState scope;
    RecordingHandler handler;
};

} // namespace tavlo::test
