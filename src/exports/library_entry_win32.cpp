// Where the Windows loader hands control to the library: start-up when it is loaded, shut-down
// when it is unloaded.
#include "frame/app.h"
#include "frame/state.h"
#include "platform/win32/runtime_win32.h"

// Declared without <windows.h>: BOOL DllMain(HINSTANCE, DWORD, LPVOID), 1 = process attach.
extern "C" int __stdcall DllMain(void* instance, unsigned long reason, void* reserved) {
    if (reason == 1) {
        if (!tavlo::frame::theApp().InitInstance(instance)) {
            // A failed start-up is shut down at once, and the loader then refuses the library.
            tavlo::frame::theApp().ExitInstance();
            return 0;
        }
    } else if (reason == 0) {
        tavlo::frame::theApp().ExitInstance();
        // Without a reserved pointer the process goes on after this copy is gone, so what the
        // runtime keeps for it must go now: a host that loads and frees the library over and
        // over would otherwise run out of TLS slots.
        if (!reserved)
            tavlo::platform::win32::releaseRuntime(instance);
    }
    return 1;
}
