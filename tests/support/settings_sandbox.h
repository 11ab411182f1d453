// A freshly loaded library for the settings and identity tests: an empty scratch registry, the
// host's key chosen up front (or none, so that discovery runs and finds nothing), message texts
// that show their id and insert ("55[%1]"), and a recording error handler.
#pragma once

#include "frame/state.h"
#include "registry_fixture.h"
#include "stand_ins.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavlo::test {

// Upper case and inside the key, so that only a case-blind host test recognises it.
inline const std::u16string kKoraKey = u"SOFTWARE\\Veltrane\\CORVIDA\\R1\\KORA-7:1";
// The product's folder name only inside a longer component: another host.
inline const std::u16string kOtherKey = u"SOFTWARE\\Veltrane\\CorvidaX\\R1\\X-1";
inline const std::u16string kProfile = u"P";

// A library with nothing beside it: only the resource module loads, and no hook is found.
class LoneLibraryModules final : public platform::ModuleService {
public:
    platform::ModuleHandle load(const char16_t* nameOrPath) override;
    void* entryPoint(platform::ModuleHandle, const char*) override { return nullptr; }
    void* entryPointByOrdinal(platform::ModuleHandle, std::uint16_t) override { return nullptr; }
    void free(platform::ModuleHandle) override {}
    platform::ModuleHandle moduleContaining(const void*) override { return this; }
    std::uint32_t moduleFileName(platform::ModuleHandle, char16_t* buffer,
                                 std::uint32_t capacity) override;
    std::u16string loadString(platform::ModuleHandle module, std::uint32_t id) override;

    std::map<std::uint32_t, std::u16string> strings{
        {54, u"Caption"}, {55, u"55[%1]"}, {57, u"57[%1]"}, {61, u"61[%1]"}};
};

struct SettingsSandbox {
    // An empty key leaves the cache empty: discovery runs on every use and finds nothing.
    // Otherwise the current profile is kProfile.
    explicit SettingsSandbox(std::u16string appKey = kOtherKey);

    // Values of a section of the current profile.
    void profile(const char16_t* section, const char16_t* name, std::u16string_view text);
    void profileRaw(const char16_t* section, const char16_t* name, std::uint32_t type,
                    const std::vector<std::uint8_t>& data);
    void profileDword(const char16_t* section, const char16_t* name, std::uint32_t value);
    // Values directly below the app key.
    void machine(const char16_t* name, std::u16string_view text);
    void user(const char16_t* name, std::u16string_view text,
              std::uint32_t type = platform::regtype::sz);
    // A file association leads discovery to a catalogue that doesn't exist, which raises.
    void catalogueRaises();
    // The ids of the messages shown so far, in order, space-separated ("57 55").
    std::string reportIds() const;

    std::u16string key;
    ScratchRegistry scratch;
    LoneLibraryModules modules;
    frame::ScopedState scope;
    RecordingHandler handler;
};

} // namespace tavlo::test
