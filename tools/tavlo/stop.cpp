#include "stop.h"

#include <algorithm>
#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <thread>
#endif

namespace tavlo::cli {

namespace {

// Set from a signal handler on Linux and from the console's own thread on Windows.
std::atomic<bool> stopAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32

HANDLE wake = nullptr; // set when a stop is asked for, to end a pause at once

BOOL WINAPI onConsoleEvent(DWORD event) {
    // A second interrupt is for a command stuck in a read: the system's own handler ends it.
    if (stopAsked.exchange(true) && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT))
        return FALSE;
    if (wake)
        SetEvent(wake);
    // Windows ends the process as soon as this returns from a close, logoff or shutdown; waiting
    // here lets the main thread finish its line and exit with 0 first (Windows gives up on the
    // wait itself after a few seconds).
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(10000);
    return TRUE;
}

#else

extern "C" void onStopSignal(int) {
    stopAsked = true;
}

#endif

} // namespace

void catchStopRequests() {
#ifdef _WIN32
    if (!wake)
        wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    // A second signal is for a command stuck in a read: it ends the process as if uncaught.
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);
#endif
}

bool stopRequested() {
    return stopAsked;
}

void pauseUnlessStopped(std::chrono::milliseconds time) {
#ifdef _WIN32
    if (wake && !stopAsked) {
        WaitForSingleObject(wake, static_cast<DWORD>(std::max<long long>(time.count(), 0)));
        return;
    }
#endif
    // In slices: a signal interrupts only the thread it is delivered to, which need not be this
    // one once the library has started threads of its own.
    constexpr std::chrono::milliseconds kSlice{50};
    while (time.count() > 0 && !stopAsked) {
        const auto slice = std::min(time, kSlice);
#ifdef _WIN32
        Sleep(static_cast<DWORD>(slice.count()));
#else
        std::this_thread::sleep_for(slice);
#endif
        time -= slice;
    }
}

} // namespace tavlo::cli
