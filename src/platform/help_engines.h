// The help engines outside the library: the Windows Help engine, and the help viewer automation
// server reached through COM. (The HTML Help control is a module, loaded through ModuleService.)
#pragma once

#include <cstdint>

namespace tavlo::platform {

using WindowHandle = void*;
using ViewerHandle = void*;

class HelpEngines {
public:
    virtual ~HelpEngines() = default;

    // WinHelpW; true when it returned non-zero.
    virtual bool winHelp(WindowHandle window, const char16_t* file, std::uint32_t command,
                         std::uintptr_t data) = 0;
    // GetDesktopWindow.
    virtual WindowHandle desktopWindow() = 0;

    // Creates the help viewer automation object and takes its dispatch interface; null when
    // it can't be created (class not registered, COM not initialised on this thread).
    virtual ViewerHandle createViewer() = 0;
    // Calls dispatch id 1 with the target as a BSTR and the integer 0; false on an automation
    // error.
    virtual bool invokeViewer(ViewerHandle viewer, const char16_t* target) = 0;
    // Releases the server object.
    virtual void releaseViewer(ViewerHandle viewer) = 0;
};

} // namespace tavlo::platform
