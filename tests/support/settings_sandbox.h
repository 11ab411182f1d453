// A freshly loaded library on an empty scratch registry: the host's key chosen up front (or none,
// so that discovery runs), product hooks that are functions of this process, a registry that
// records what is opened and read, message texts that show their id and insert ("55[%1]"), and a
// recording error handler.
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

// Upper case and inside the key, so that only a case-blind host test recognises it.
inline const std::u16string kKoraKey = u"SOFTWARE\\Veltrane\\CORVIDA\\R1\\KORA-7:1";
// The product's folder name only inside a longer component: another host.
inline const std::u16string kOtherKey = u"SOFTWARE\\Veltrane\\CorvidaX\\R1\\X-1";
inline const std::u16string kLibraryHook = u"C:\\Lib\\userdata.dll";
inline const std::u16string kOutprintKey = u"Software\\Veltrane\\Outprint";

// "tavlo9Res.dll" is the string table; each added hook is a "userdata.dll" whose entry point is
// a function of this process; nothing else loads. Every module lives at libraryPath (empty: the
// name query fails).
class HookModules final : public platform::ModuleService {
public:
    struct Hook {
        std::u16string key; // written into the buffer
        std::uint32_t result = 1;
        bool hasEntryPoint = true;
    };
    void addHook(const std::u16string& path, Hook hook) { hooks_[path] = std::move(hook); }

    platform::ModuleHandle load(const char16_t* nameOrPath) override;
    void* entryPoint(platform::ModuleHandle module, const char* name) override;
    void* entryPointByOrdinal(platform::ModuleHandle, std::uint16_t) override { return nullptr; }
    void free(platform::ModuleHandle module) override { frees += module != &strings; }
    platform::ModuleHandle moduleContaining(const void*) override { return &libraryPath; }
    std::uint32_t moduleFileName(platform::ModuleHandle, char16_t* buffer,
                                 std::uint32_t capacity) override;
    std::u16string loadString(platform::ModuleHandle module, std::uint32_t id) override {
        return module == &strings && strings.count(id) ? strings.at(id) : std::u16string();
    }

    std::map<std::uint32_t, std::u16string> strings{
        {54, u"Caption"}, {55, u"55[%1]"}, {57, u"57[%1]"}, {61, u"61[%1]"}};
    std::u16string libraryPath = u"C:\\Lib\\tavlo9.dll";
    std::vector<std::u16string> loads;                           // all but the string table
    std::vector<std::pair<std::u16string, std::uint32_t>> calls; // hook buffer and capacity
    int hookLoads = 0, frees = 0, fileNameQueries = 0;

private:
    static std::uint32_t entry(char16_t* buffer, std::uint32_t capacity);
    std::map<std::u16string, Hook> hooks_;
};

// Exactly the given paths exist.
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
    std::vector<std::pair<platform::Root, std::u16string>> opens;
    int queries = 0;
    std::vector<std::u16string> opensBelow(platform::Root root) const {
        std::vector<std::u16string> paths;
        for (const auto& [where, path] : opens)
            if (where == root)
                paths.push_back(path);
        return paths;
    }

    platform::Status openKey(platform::Root root, const char16_t* subKey,
                             platform::KeyHandle* key) override {
        opens.emplace_back(root, subKey ? subKey : u"");
        return real_.openKey(root, subKey, key);
    }
    platform::Status queryValue(platform::KeyHandle key, const char16_t* name, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override {
        ++queries;
        return real_.queryValue(key, name, type, data, size);
    }
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
    platform::RegistryService& real_ = *platform::defaultServices().registry;
};

struct SettingsSandbox {
    // An empty key leaves the cache empty, so that discovery runs on every use. Otherwise the
    // current profile is "P".
    explicit SettingsSandbox(std::u16string appKey = kOtherKey);

    // A value of a section of the current profile.
    void profile(const char16_t* section, const char16_t* name, std::u16string_view text,
                 std::uint32_t type = platform::regtype::sz);
    void profileDword(const char16_t* section, const char16_t* name, std::uint32_t value);
    // Values directly below the app key.
    void machine(const char16_t* name, std::u16string_view text);
    void hookBesideLibrary(const std::u16string& key) { modules.addHook(kLibraryHook, {key}); }
    // The extension's file type opens with command.
    void associate(const std::u16string& extension, const std::u16string& command,
                   std::uint32_t type = platform::regtype::sz);
    // Registers name in the catalogue with mark as data; with a location, the application's
    // machine key holds it under the value name the host test chooses, and it exists on disk
    // without its trailing backslashes (from then on only such folders exist).
    void registerApp(const std::u16string& name, const char16_t* location, bool userKey = false,
                     std::uint32_t mark = 0);
    // The ids of the messages shown so far, in order, space-separated ("57 55").
    std::string reportIds() const;

    std::u16string key;
    ScratchRegistry scratch;
    RecordingRegistry registry;
    HookModules modules;
    KnownFiles files;
    frame::ScopedState scope;
    RecordingHandler handler;
};

} // namespace tavlo::test
