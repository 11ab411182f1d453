#include "frame/app.h"

#include "frame/state.h"

namespace tavlo::frame {

CTavloApp& theApp() {
    static CTavloApp app;
    return app;
}

bool CTavloApp::InitInstance(platform::ModuleHandle instance) {
    LibraryState& s = state();
    // By name, from where an installation keeps it; only its strings are ever read.
    resourceModule_ = s.services.modules->loadResources(kResourceModuleName);
    if (!resourceModule_) {
        s.services.ui->messageBox(u"tavlo9Res.dll not found");
        return false;
    }
    s.resourceModule = resourceModule_;
    s.instance = instance;
    return true;
}

int CTavloApp::ExitInstance() {
    // The stored handle is kept: nothing runs after shut-down that could use it.
    if (!resourceModule_)
        return 0;
    state().services.modules->free(resourceModule_);
    return 1;
}

} // namespace tavlo::frame
