// Where the Linux build looks for a module it is asked to load, and which files it accepts as
// one. The library runs inside other people's processes, so what it loads must come from a
// folder an installer chose, never from wherever the process happens to stand.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo::platform::portable {

// The folders a name without an anchor is looked for in, in order: the folder of ownObject (the
// file holding the library's code), the installation's data folder seen from there, and the
// folder of program (the process's executable). Never the current directory: a library in a
// host's process can't know who put what there. Empty and duplicate entries are dropped.
std::vector<std::string> moduleSearchFolders(const std::string& ownObject,
                                             const std::string& program);

// The Unix file a module name or path stands for, applying LoadLibraryW's naming rule (".dll"
// for a final component without an extension). A Unix path is taken as it is; a Windows path
// with a drive, a root or a UNC server resolves through the Wine prefix; anything else (a bare
// name, "sub\name", ".\name") is looked for below each of folders in turn, each component
// matched without regard to case; such a name is never resolved against the current directory.
// Not even "." is: every relative name that reaches the service comes from the registry or from
// a composition (the folder of an association's host program), never from a caller who chose
// the current directory knowingly, and one who means a file there can pass its full path.
// Empty when nothing is found.
std::string locateModule(std::u16string_view nameOrPath, const std::vector<std::string>& folders);

// What a file is, read from its first bytes. A PE file is only ever read for its string
// tables; an ELF file is loaded only when it is a shared object for the machine and word size
// this code runs on. reason says why anything else is refused.
struct ImageCheck {
    enum class Kind { Pe, Elf, Refused } kind = Kind::Refused;
    std::string reason;
};
ImageCheck checkImageHeader(std::string_view header);

// The first bytes checkImageHeader needs (an ELF header of either word size).
inline constexpr std::size_t kImageHeaderBytes = 64;

} // namespace tavlo::platform::portable
