#pragma once

#include "platform/services.h"

namespace tavlo::platform::win32 {

class Win32Text final : public TextService {
public:
    Status formatMessage(const char16_t* templ, const char16_t* insert1,
                         std::u16string& out) override;
    void toLower(std::u16string& text) override;
    void toUpper(std::u16string& text) override;
};

class Win32Ui final : public UiService {
public:
    void messageBox(const char16_t* text) override;
};

class Win32HelpEngines final : public HelpEngines {
public:
    bool winHelp(WindowHandle window, const char16_t* file, std::uint32_t command,
                 std::uintptr_t data) override;
    WindowHandle desktopWindow() override;
    ViewerHandle createViewer() override;
    bool invokeViewer(ViewerHandle viewer, const char16_t* target) override;
    void releaseViewer(ViewerHandle viewer) override;
};

} // namespace tavlo::platform::win32
