#include "platform/host.h"
#include "platform/win32/windows_api.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <thread>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace tavlo::platform {

namespace {
std::atomic<bool> stopAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free);
} // namespace

bool stopRequested() {
    return stopAsked;
}

// In slices: a signal interrupts only the thread it is delivered to, which need not be this one.
void pauseUnlessStopped(std::chrono::milliseconds time) {
    constexpr std::chrono::milliseconds kSlice{50};
    while (time.count() > 0 && !stopAsked) {
        const auto slice = std::min(time, kSlice);
        std::this_thread::sleep_for(slice);
        time -= slice;
    }
}

namespace {
// Called on the console's own thread.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (stopAsked.exchange(true) && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT))
        return FALSE; // the second interrupt: the system's own handler ends the process
    // Windows ends the process as soon as this returns from a close, logoff or shutdown; waiting
    // here lets the main thread finish its line and exit with 0 first (Windows gives up on the
    // wait itself after a few seconds).
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(10000);
    return TRUE;
}
} // namespace

void catchStopRequests() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    // argv holds the arguments in the ANSI code page; the wide command line has them whole.
    std::vector<std::string> out;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            out.push_back(toUtf8(win32::utf16(wide[i])));
        LocalFree(wide);
        return out;
    }
    return std::vector<std::string>(argv, argv + argc);
}

void useUtf8Output() {
    SetConsoleOutputCP(CP_UTF8);
    // Lines end as on Linux, so that both builds' output can be compared byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool canChooseRegistrySource() {
    return false;
}
void chooseRegistrySource(const std::vector<std::string>&, const std::string&) {}
std::vector<std::string> registrySourceDiagnostics() {
    return {};
}

bool nativePathOf(std::u16string_view, std::string&, bool&) {
    return false;
}

} // namespace tavlo::platform
