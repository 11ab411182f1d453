#include "help/help_display.h"

#include "frame/state.h"
#include "help/help_search.h"
#include "registry/value_read.h"

#include <array>
#include <string>

namespace tavlo::help {

namespace {

constexpr std::size_t kMacroUnits = 512;
constexpr const char16_t* kHtmlHelpClassKey =
    u"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
// The control's Unicode entry point, by the ordinal the HTML Help API publishes for it.
constexpr std::uint16_t kHtmlHelpOrdinal = 15;
using HtmlHelpFn = void* (*)(void* window, const char16_t* target, std::uint32_t command,
                             std::uintptr_t data);

// JumpId("<pathname with forward slashes>", "<topic>"), never longer than the buffer: the
// pathname is copied while two characters remain free, the closing part cut to what is left.
std::u16string jumpMacro(const std::u16string& pathname, const char16_t* topic) {
    std::array<char16_t, kMacroUnits> buffer{};
    const std::u16string_view opening = u"JumpId(\"";
    std::size_t end = opening.copy(buffer.data(), opening.size());
    for (char16_t c : pathname) {
        if (kMacroUnits - end < 2)
            break;
        buffer[end++] = c == u'\\' ? u'/' : c;
    }
    const std::u16string closing = u"\", \"" + std::u16string(topic ? topic : u"(null)") + u"\")";
    const std::size_t room = kMacroUnits - end;
    if (room > 0) {
        const std::size_t n = std::min(closing.size(), room - 1);
        closing.copy(buffer.data() + end, n);
        buffer[end + n] = 0;
    }
    buffer[kMacroUnits - 1] = 0;
    return std::u16string(buffer.data());
}

// Where the control is registered: the default value of its class's server key, read whatever
// its type. The path is read through the wide API within the same 260-character limit that a
// 260-byte ANSI buffer gives an ASCII path.
std::u16string registeredControlPath() {
    platform::RegKey key;
    if (key.open(*frame::state().services.registry, platform::Root::ClassesRoot,
                 kHtmlHelpClassKey) != platform::status::success)
        return {};
    std::u16string path;
    const auto read = registry::readFixed(key, nullptr, 520, path);
    if (read.status != platform::status::success || path.size() >= 260)
        return {};
    return path;
}

} // namespace

void* CallHtmlHelp(void* window, const char16_t* target, std::uint32_t command,
                   std::uintptr_t data) {
    frame::LibraryState& s = frame::state();
    platform::ModuleService& modules = *s.services.modules;
    if (!s.htmlHelpModule && !s.htmlHelpFailed) {
        const std::u16string path = registeredControlPath();
        if (!path.empty())
            s.htmlHelpModule = modules.load(path.c_str());
        if (!s.htmlHelpModule)
            s.htmlHelpModule = modules.load(u"hhctrl.ocx");
        if (!s.htmlHelpModule) {
            s.htmlHelpFailed = true;
            return nullptr;
        }
    }
    if (!s.htmlHelpModule)
        return nullptr;
    if (!s.htmlHelpEntry) {
        s.htmlHelpEntry = modules.entryPointByOrdinal(s.htmlHelpModule, kHtmlHelpOrdinal);
        if (!s.htmlHelpEntry) {
            s.htmlHelpFailed = true;
            return nullptr;
        }
    }
    return reinterpret_cast<HtmlHelpFn>(s.htmlHelpEntry)(window, target, command, data);
}

bool DoHelp(void* window, const char16_t* file, std::uintptr_t data, std::uint32_t command) {
    std::u16string pathname;
    if (!ResolveHelpPath(file, pathname))
        return false;
    platform::HelpEngines& engines = *frame::state().services.help;
    std::u16string macro;
    if (command == 0) {
        macro = jumpMacro(pathname, reinterpret_cast<const char16_t*>(data));
        data = reinterpret_cast<std::uintptr_t>(macro.c_str());
        command = kHelpCommand;
    }
    if (command == kHelpCommand)
        engines.winHelp(window, pathname.c_str(), kHelpForceFile, 0);
    return engines.winHelp(window, pathname.c_str(), command, data);
}

bool DoHtmlHelp(const char16_t* file, const char16_t* topic, std::int32_t command) {
    frame::LibraryState& s = frame::state();
    platform::HelpEngines& engines = *s.services.help;
    if (command == 2) {
        if (s.helpViewer) {
            engines.releaseViewer(s.helpViewer);
            s.helpViewer = nullptr;
        }
        return true;
    }
    std::u16string pathname;
    if (file) {
        if (!ResolveHelpPath(file, pathname))
            return false;
    } else {
        const std::u16string defaultFile = GetDefaultHelpFile();
        if (defaultFile.empty() || !ResolveHelpPath(defaultFile.c_str(), pathname))
            return false;
    }
    s.services.text->toLower(pathname);
    std::u16string target = pathname;
    if (command == 0 && topic && *topic)
        target = pathname + u"::/" + topic + u".htm";

    if (!s.helpViewer)
        s.helpViewer = engines.createViewer();
    if (s.helpViewer) {
        // A failed call drops the connection without releasing the server object; the next
        // call creates a new one.
        if (!engines.invokeViewer(s.helpViewer, target.c_str()))
            s.helpViewer = nullptr;
        return true;
    }
    return CallHtmlHelp(engines.desktopWindow(), target.c_str(), 0, 0) != nullptr;
}

} // namespace tavlo::help
