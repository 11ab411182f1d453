// What a program built on the library (the command-line tool, the tests) needs of its own
// process that differs between the platforms: its arguments as UTF-8, UTF-8 output, and on
// Linux the choice of the registry files and Wine prefix to read.
#pragma once

#include "platform/utf.h"

#include <string>
#include <vector>

namespace tavlo::platform {

std::vector<std::string> utf8Arguments(int argc, char** argv);
void useUtf8Output();

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
