// Where the library comes to life when a Linux host loads it, and ends when it is unloaded.
// A shared object can't refuse dlopen. The closest honest behaviour: say once on standard
// error that the resource module is missing, stay loaded, and show every message text empty.
#include "frame/app.h"
#include "frame/state.h"

namespace {
struct LoadedLibrary {
    LoadedLibrary() {
        // Start-up brings the state and the application object to life first, so that they
        // are destroyed only after shut-down has run in this object's destructor.
        auto& services = tavlo::frame::state().services;
        void* instance =
            services.modules->moduleContaining(reinterpret_cast<const void*>(&tavlo::frame::state));
        if (!tavlo::frame::theApp().InitInstance(instance))
            tavlo::frame::theApp().ExitInstance();
    }
    ~LoadedLibrary() { tavlo::frame::theApp().ExitInstance(); }
};
} // namespace

__attribute__((constructor)) static void tavloLibraryLoaded() {
    static LoadedLibrary library;
}
