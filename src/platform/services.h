// The set of platform services the core runs on. The library's exports use the default set of
// the backend it was built with; tests swap single services for stand-ins.
#pragma once

#include "platform/files.h"
#include "platform/help_engines.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tavlo::platform {

struct Services {
    RegistryService* registry = nullptr;
    ModuleService* modules = nullptr;
    FileService* files = nullptr;
    TextService* text = nullptr;
    UiService* ui = nullptr;
    HelpEngines* help = nullptr;
};

// The backend's own services, alive for the whole process.
const Services& defaultServices();

} // namespace tavlo::platform
