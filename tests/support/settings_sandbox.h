// A freshly loaded library on an empty scratch registry: the host's key chosen up front (or none,
// so that discovery runs), fake modules (product hooks are functions of this process), a registry
// that records what is opened and read, message texts that show their id and insert ("55[%1]"),
// and a recording error handler.
#pragma once

#include "frame/state.h"
#include "registry_fixture.h"
#include "stand_ins.h"

#include <string>

namespace tavlo::test {

namespace regtype = platform::regtype;

// Upper case and inside the key, so that only a case-blind host test recognises it.
inline const std::u16string kKoraKey = u"SOFTWARE\\Veltrane\\CORVIDA\\R1\\KORA-7:1";
// The product's folder name only inside a longer component: another host.
inline const std::u16string kOtherKey = u"SOFTWARE\\Veltrane\\CorvidaX\\R1\\X-1";
inline const std::u16string kLibraryHook = u"C:\\Lib\\userdata.dll";
inline const std::u16string kOutprintKey = u"Software\\Veltrane\\Outprint";

struct SettingsSandbox {
    // An empty key leaves the cache empty, so that discovery runs on every use. Otherwise the
    // current profile is "P".
    explicit SettingsSandbox(std::u16string appKey = kOtherKey);

    // A value of a section of the current profile.
    void profile(const char16_t* section, const char16_t* name, std::u16string_view text,
                 std::uint32_t type = regtype::sz);
    void profileDword(const char16_t* section, const char16_t* name, std::uint32_t value);
    // Values directly below the app key.
    void machine(const char16_t* name, std::u16string_view text);
    void hookBesideLibrary(const std::u16string& key) { modules.addHook(kLibraryHook, {key}); }
    // The extension's file type opens with command.
    void associate(const std::u16string& extension, const std::u16string& command,
                   std::uint32_t type = regtype::sz);
    // Registers name in the catalogue with mark as data; with a location, the application's
    // machine key holds it under the value name the host test chooses, and it exists on disk
    // without its trailing backslashes (with listFiles()).
    void registerApp(const std::u16string& name, const char16_t* location, bool userKey = false,
                     std::uint32_t mark = 0);
    // From now on only what files lists exists.
    ListedFiles& listFiles() {
        scope.get().services.files = &files;
        return files;
    }
    // The ids of the messages shown so far, in order, space-separated ("57 55").
    std::string reportIds() const;

    std::u16string key;
    ScratchRegistry scratch;
    RecordingRegistry registry;
    FakeModules modules;
    ListedFiles files{modules.log};
    RecordingUi ui;
    frame::ScopedState scope;
    RecordingHandler handler;
};

} // namespace tavlo::test
