#include "platform/services.h"

#include "platform/portable/environment_posix.h"
#include "platform/portable/files_posix.h"
#include "platform/portable/modules_posix.h"
#include "platform/portable/text_service.h"
#include "platform/utf.h"

#include <cstdio>

namespace tavlo::platform {

namespace portable {
namespace {

// A key is opened in whatever the process registry is at the time of the call, so that a
// later configure() (the command-line tool's options) and a registry file that wineserver
// rewrote are seen by every user of the services. An open key answers from the registry it was
// opened in, whatever replaced that since: the calls on it need no registry but the handle.
class ProcessRegistry final : public RegistryService {
public:
    Status openKey(Root root, const char16_t* subKey, KeyHandle* key) override {
        const RegistryReading reading;
        return reading.registry().openKey(root, subKey, key);
    }
    Status queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
        return handles_.queryValue(key, name, type, data, size);
    }
    Status enumValue(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* nameCount,
                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override {
        return handles_.enumValue(key, index, name, nameCount, type, data, dataSize);
    }
    Status enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                   std::uint32_t* nameCount) override {
        return handles_.enumKey(key, index, name, nameCount);
    }
    void closeKey(KeyHandle key) override { handles_.closeKey(key); }

private:
    MemoryRegistry handles_;
};

// Linux has no message box a shared library could show; the closest honest equivalent is one
// line on the host's standard error.
class StderrUi final : public UiService {
public:
    void messageBox(const char16_t* text) override {
        std::fprintf(stderr, "tavlo9: %s\n", toUtf8(text ? text : u"").c_str());
    }
};

// No help engine exists on Linux; every attempt fails as it does on Windows when the engine is
// missing, and the callers turn that into their specified false result.
class NoHelpEngines final : public HelpEngines {
public:
    bool winHelp(WindowHandle, const char16_t*, std::uint32_t, std::uintptr_t) override {
        return false;
    }
    WindowHandle desktopWindow() override { return nullptr; }
    ViewerHandle createViewer() override { return nullptr; }
    bool invokeViewer(ViewerHandle, const char16_t*) override { return false; }
    void releaseViewer(ViewerHandle) override {}
};

} // namespace
} // namespace portable

const Services& defaultServices() {
    static portable::ProcessRegistry registry;
    static portable::PosixModules modules;
    static portable::PosixFiles files;
    static portable::PortableText text;
    static portable::StderrUi ui;
    static portable::NoHelpEngines help;
    static const Services services{&registry, &modules, &files, &text, &ui, &help};
    return services;
}

} // namespace tavlo::platform
