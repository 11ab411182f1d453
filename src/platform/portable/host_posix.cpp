#include "platform/host.h"

#include "platform/portable/environment_posix.h"
#include "platform/portable/files_posix.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

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
extern "C" void onStopSignal(int) {
    stopAsked = true;
}
} // namespace

void catchStopRequests() {
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESETHAND; // the second signal ends the process as if uncaught
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM})
        sigaction(signal, &action, nullptr);
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void useUtf8Output() {}

bool canChooseRegistrySource() {
    return true;
}

void chooseRegistrySource(const std::vector<std::string>& files, const std::string& prefix) {
    std::vector<portable::Diagnostic> problems;
    portable::PortableConfig config = portable::configFromEnvironment(&problems);
    if (!prefix.empty()) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(prefix, error);
        config.prefix = error ? prefix : absolute.lexically_normal().string();
        // An explicit prefix means its own registry, not the files the environment names.
        config.registryFiles.clear();
    }
    if (!files.empty())
        config.registryFiles = files;
    // What the environment lacks doesn't matter when the caller names the registry itself.
    if (!files.empty() || !prefix.empty())
        problems.clear();
    portable::configure(std::move(config), std::move(problems));
}

std::vector<std::string> registrySourceDiagnostics() {
    std::vector<std::string> lines;
    if (!portable::processRegistryLoaded())
        return lines;
    // Appended piece by piece: g++ 12 at -O3 warns, wrongly, of overlapping copies in a
    // literal prepended to a temporary string, and the presets make warnings errors.
    for (const auto& d : portable::processDiagnostics()) {
        std::string line = d.file;
        if (d.line)
            line.append(":").append(std::to_string(d.line));
        lines.push_back(line.append(": ").append(d.message));
    }
    return lines;
}

bool nativePathOf(std::u16string_view path, std::string& nativePath, bool& exists) {
    nativePath = portable::toUnixPath(path);
    struct stat info;
    exists = !nativePath.empty() && stat(nativePath.c_str(), &info) == 0;
    return true;
}

} // namespace tavlo::platform
