#include "platform/win32/services_win32.h"

#include "platform/win32/files_win32.h"
#include "platform/win32/modules_win32.h"
#include "platform/win32/registry_win32.h"

namespace tavlo::platform {

const Services& defaultServices() {
    static win32::Win32Registry registry;
    static win32::Win32Modules modules;
    static win32::Win32Files files;
    static win32::Win32Text text;
    static win32::Win32Ui ui;
    static win32::Win32HelpEngines help;
    static const Services services{&registry, &modules, &files, &text, &ui, &help};
    return services;
}

} // namespace tavlo::platform
