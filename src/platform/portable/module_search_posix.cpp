#include "platform/portable/module_search_posix.h"

#include "platform/portable/files_posix.h"
#include "platform/utf.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <elf.h>
#include <link.h>
#include <sys/stat.h>

namespace tavlo::platform::portable {

namespace {

// An installed library keeps its resource module in the installation's data folder, found from
// the library's own folder, or from the tool's, which carries the library's code. The build gives
// both ways for its installation's folders (a multiarch library folder is one deeper).
#ifndef TAVLO_RES_FROM_LIB
#define TAVLO_RES_FROM_LIB "../share/tavlo"
#endif
#ifndef TAVLO_RES_FROM_BIN
#define TAVLO_RES_FROM_BIN "../share/tavlo"
#endif

std::string normalized(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::string parentOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool isDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// LoadLibraryW appends ".dll" to a final component without an extension, and a trailing '.'
// stands for "no extension".
std::u16string withDefaultExtension(std::u16string_view name) {
    std::u16string result(name);
    const std::size_t start = result.find_last_of(u"\\/") + 1; // npos + 1 == 0
    if (!result.empty() && result.back() == u'.')
        result.pop_back();
    else if (result.find(u'.', start) == std::u16string::npos)
        result += u".dll";
    return result;
}

// A name below folder, component by component as Wine matches them; "." stays, ".." goes up
// (from a folder the installer chose, so it can't lead where the current directory would).
std::string findBelow(const std::string& folder, std::u16string_view relative) {
    std::string path = folder;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = start;
        while (end < relative.size() && !isSeparator(relative[end]))
            ++end;
        const std::u16string_view part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == u".")
            continue;
        if (part == u"..") {
            path = parentOf(path);
            continue;
        }
        const auto found = findInDirectory(path, part);
        if (!found)
            return {};
        path += '/' + *found;
    }
    return isRegularFile(path) ? path : std::string();
}

std::uint16_t machineOf(std::string_view header);

// The machine this code runs on, as ELF names it: that of the running program, which the loader
// has already matched with every object in the process.
std::uint16_t ownMachine() {
    static const std::uint16_t machine = [] {
        char header[kImageHeaderBytes] = {};
        std::ifstream in("/proc/self/exe", std::ios::binary);
        in.read(header, sizeof header);
        if (in.gcount() == sizeof header)
            return machineOf(std::string_view(header, sizeof header));
#if defined(__x86_64__)
        return std::uint16_t{EM_X86_64};
#elif defined(__aarch64__)
        return std::uint16_t{EM_AARCH64};
#else
        return std::uint16_t{EM_NONE};
#endif
    }();
    return machine;
}

std::uint16_t machineOf(std::string_view header) {
    std::uint16_t machine = 0;
    std::memcpy(&machine, header.data() + offsetof(Elf64_Ehdr, e_machine), sizeof machine);
    return machine;
}

constexpr unsigned char kOwnClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char kOwnData =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;

} // namespace

std::vector<std::string> moduleSearchFolders(const std::string& ownObject,
                                             const std::string& program) {
    std::vector<std::string> folders;
    const auto add = [&](const std::string& folder) {
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    };
    const std::string own = ownObject.empty() ? std::string() : normalized(parentOf(ownObject));
    add(own);
    if (!own.empty()) {
        const std::string toData = ownObject == program ? TAVLO_RES_FROM_BIN : TAVLO_RES_FROM_LIB;
        // The loader may name the library through a link to its folder (/lib is /usr/lib on a
        // merged-/usr system), from where the relative way to the data folder leads nowhere: it
        // is taken from the folder the link leads to.
        std::error_code error;
        const std::filesystem::path real = std::filesystem::canonical(own, error);
        add(normalized((error ? own : real.string()) + "/" + toData));
    }
    add(program.empty() ? std::string() : normalized(parentOf(program)));
    return folders;
}

std::string locateModule(std::u16string_view nameOrPath, const std::vector<std::string>& folders) {
    if (nameOrPath.empty())
        return {};
    // A Unix path names a Linux file exactly; the Windows naming rules apply to Windows names.
    if (nameOrPath.front() == u'/')
        return toUtf8(nameOrPath);
    const std::u16string name = withDefaultExtension(nameOrPath);
    // Anchored Windows paths ("C:\x", "C:x", "\x", "\\server\share\x") resolve through the
    // prefix's drives, never through the current directory.
    const bool anchored = isSeparator(name.front()) ||
                          (name.size() >= 2 && isDriveLetter(name[0]) && name[1] == u':');
    if (anchored)
        return absolutePath(toUnixPath(name));
    // Everything else, "sub\name" and ".\name" too, is a name to search for: Windows searches
    // its folders for a relative path as for a bare name. The current directory is left out, so
    // a document folder holding a planted module can't put code into the host.
    for (const std::string& folder : folders)
        if (std::string found = findBelow(folder, name); !found.empty())
            return found;
    return {};
}

ImageCheck checkImageHeader(std::string_view header) {
    using Kind = ImageCheck::Kind;
    if (header.size() >= 2 && header.substr(0, 2) == "MZ")
        return {Kind::Pe, {}};
    if (header.size() < 4 || header.substr(0, 4) != std::string_view("\x7f"
                                                                     "ELF",
                                                                     4))
        return {Kind::Refused, "neither an ELF shared object nor a PE file"};
    if (header.size() < sizeof(Elf32_Ehdr))
        return {Kind::Refused, "a truncated ELF header"};
    const auto ident = [&](int index) { return static_cast<unsigned char>(header[index]); };
    if (ident(EI_CLASS) != kOwnClass)
        return {Kind::Refused, std::string("a ") + (ident(EI_CLASS) == ELFCLASS32 ? "32" : "64") +
                                   "-bit ELF object in a " +
                                   (kOwnClass == ELFCLASS64 ? "64" : "32") + "-bit process"};
    if (ident(EI_DATA) != kOwnData)
        return {Kind::Refused, "an ELF object of the other byte order"};
    if (ident(EI_VERSION) != EV_CURRENT)
        return {Kind::Refused,
                "an ELF object of unknown version " + std::to_string(ident(EI_VERSION))};
    if (header.size() < sizeof(ElfW(Ehdr)))
        return {Kind::Refused, "a truncated ELF header"};
    // The class and byte order are this machine's: the header's fields read as they are.
    std::uint16_t type = 0;
    std::memcpy(&type, header.data() + offsetof(ElfW(Ehdr), e_type), sizeof type);
    if (type != ET_DYN)
        return {Kind::Refused,
                "an ELF file that is not a shared object (type " + std::to_string(type) + ")"};
    const std::uint16_t machine = machineOf(header);
    if (machine != ownMachine())
        return {Kind::Refused, "an ELF object for machine " + std::to_string(machine) +
                                   ", not this one (" + std::to_string(ownMachine()) + ")"};
    return {Kind::Elf, {}};
}

} // namespace tavlo::platform::portable
