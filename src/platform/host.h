// What a program built on the library (the command-line tool, the tests) needs of its own
// process that differs between the platforms: its arguments as UTF-8, UTF-8 output, being told
// to stop, and on Linux the choice of the registry files and Wine prefix to read.
#pragma once

#include "platform/utf.h"

#include <chrono>
#include <string>
#include <vector>

namespace tavlo::platform {

std::vector<std::string> utf8Arguments(int argc, char** argv);
void useUtf8Output();

// For a command that runs until it is told to stop: from catchStopRequests() on, the interrupt
// key (Linux: SIGINT and SIGTERM; Windows: Ctrl+C, Ctrl+Break, the console closing) is kept for
// stopRequested() instead of ending the process, so that what the command printed is whole. A
// second interrupt ends the process as the system would, for a command stuck in a read.
void catchStopRequests();
bool stopRequested();
// Waits for the time given, or less when a stop is asked for meanwhile.
void pauseUnlessStopped(std::chrono::milliseconds time);

// Whether this build reads registry files and a prefix of the caller's choice (the Linux build
// does; tavlo9.dll reads the real registry of the machine or Wine prefix it runs in).
bool canChooseRegistrySource();
// Reads the given registry files (in order, later ones overriding earlier ones) or, without
// files, the given Wine prefix; empty arguments keep what the environment says.
void chooseRegistrySource(const std::vector<std::string>& files, const std::string& prefix);
// What loading the registry files reported, as "file:line: message" lines.
std::vector<std::string> registrySourceDiagnostics();

// Where a path of the library's answers is on this machine's own file system: the Linux build
// resolves drive letters through the Wine prefix. False where paths are already native.
bool nativePathOf(std::u16string_view path, std::string& nativePath, bool& exists);

} // namespace tavlo::platform
