#include "platform/win32/runtime_win32.h"

#include "platform/win32/windows_api.h"

#include <pthread.h>

#include <cstdlib>

// The thread library's own, outside its public header: the TLS callback it runs when a thread
// ends, and the record behind a thread id.
extern "C" PIMAGE_TLS_CALLBACK __xl_f;
extern "C" void* __pth_gpointer_locked(pthread_t id);

// The C++ runtime's release of its emergency exception pool (what leak checkers call at exit).
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace tavlo::platform::win32 {

namespace {
// TLS_MINIMUM_AVAILABLE slots and the expansion slots: every index TlsAlloc can hand out.
constexpr DWORD kTlsSlots = 64 + 1024;
} // namespace

void releaseRuntime(void* module) {
    // The thread library keeps each calling thread's record in a TLS slot it allocates once
    // per loaded copy and never frees: after about a thousand loads TlsAlloc fails and it
    // aborts the process. Its slot is the one holding this thread's record.
    static bool released = false;
    if (released)
        return;
    released = true;
    void* self = __pth_gpointer_locked(pthread_self());
    DWORD slot = TLS_OUT_OF_INDEXES;
    for (DWORD index = 0; index < kTlsSlots && slot == TLS_OUT_OF_INDEXES; ++index)
        if (self && TlsGetValue(index) == self)
            slot = index;
    // What the end of this thread would do (its thread-local data and handles); the record
    // itself would be kept for a thread to come, which no longer can. Records of other threads
    // still alive that called the library stay behind.
    __xl_f(module, DLL_THREAD_DETACH, nullptr);
    if (slot != TLS_OUT_OF_INDEXES) {
        TlsFree(slot);
        std::free(self);
    }
    __gnu_cxx::__freeres();
}

} // namespace tavlo::platform::win32
