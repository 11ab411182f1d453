// The library's application object: loads the resource module when the library is loaded and
// frees it when the library is unloaded.
#pragma once

#include "platform/modules.h"

namespace tavlo::frame {

// The module holding every message text; a bare name, so that the module search finds it beside
// the library (or the tool) and never in the current directory.
inline constexpr const char16_t* kResourceModuleName = u"tavlo9Res.dll";

class CTavloApp {
public:
    // Start-up: false when the resource module can't be loaded (the load of the library then
    // fails on Windows).
    bool InitInstance(platform::ModuleHandle instance);
    // Shut-down: 1 when a resource module was loaded and is now freed, else 0.
    int ExitInstance();

    platform::ModuleHandle resourceModule() const { return resourceModule_; }

private:
    platform::ModuleHandle resourceModule_ = nullptr;
};

// The one application object of the process.
CTavloApp& theApp();

} // namespace tavlo::frame
