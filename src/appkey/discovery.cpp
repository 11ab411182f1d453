#include "appkey/discovery.h"

#include "appkey/catalogue.h"
#include "appkey/discovery_trace.h"
#include "frame/path_split.h"
#include "frame/state.h"
#include "registry/value_read.h"

#include <array>

namespace tavlo::appkey {

namespace {

using platform::Root;
namespace status = platform::status;

constexpr std::uint32_t kModulePathUnits = 260;
constexpr std::uint32_t kCompositionUnits = 1024;
// The association buffer holds the identifier, the command key path and the command in turn.
constexpr std::uint32_t kAssociationUnits = 1024;
constexpr const char16_t* kExtensions[] = {u".pc3", u".stb", u".ctb"};
// Room for the longest path the loader can name a module by.
constexpr std::uint32_t kLoadedPathUnits = 32768;

frame::LibraryState& lib() {
    return frame::state();
}

// The text of a buffer up to its first null, or all of it when there is none.
std::u16string textOf(const char16_t* buffer, std::size_t capacity) {
    std::size_t n = 0;
    while (n < capacity && buffer[n])
        ++n;
    return std::u16string(buffer, n);
}

// Reads the default value of key into the association buffer, whatever its type.
bool readAssociation(const platform::RegKey& key, std::array<char16_t, kAssociationUnits>& buffer) {
    buffer.fill(u'\0');
    std::uint32_t size = kAssociationUnits * 2;
    return key.query(nullptr, nullptr, reinterpret_cast<std::uint8_t*>(buffer.data()), &size) ==
           status::success;
}

// The file the loader mapped for module: its own name for it, or empty.
std::u16string loadedFile(platform::ModuleService& modules, platform::ModuleHandle module) {
    std::u16string file(kLoadedPathUnits, u'\0');
    const std::uint32_t n = modules.moduleFileName(module, file.data(), kLoadedPathUnits);
    file.resize(n < kLoadedPathUnits ? n : 0);
    return file;
}

HookAttempt* hookAttempt(DiscoveryTrace* trace, std::optional<HookAttempt> DiscoveryTrace::*which) {
    return trace ? &(trace->*which).emplace() : nullptr;
}

// The first thing discovery can't go on without: the rule is none, for reason.
std::int32_t noKey(DiscoveryTrace* trace, Reason reason) {
    if (trace)
        trace->decide(Rule::None, reason, u"");
    return 1;
}

} // namespace

std::int32_t LookupAppKey(DiscoveryTrace* trace) {
    frame::LibraryState& s = lib();
    // The module holding this code: the library, or the program it is linked into.
    const platform::ModuleHandle self =
        s.services.modules->moduleContaining(reinterpret_cast<const void*>(&LookupAppKey));
    std::array<char16_t, kModulePathUnits + 1> modulePath{};
    if (s.services.modules->moduleFileName(self, modulePath.data(), kModulePathUnits) == 0)
        return noKey(trace, Reason::LibraryPathUnknown);
    if (LoadProductRootKey(textOf(modulePath.data(), kModulePathUnits),
                           hookAttempt(trace, &DiscoveryTrace::libraryHook))) {
        if (trace)
            trace->decide(Rule::HookLibrary, Reason::HookAnswered, s.appKeyCache);
        return 0;
    }

    std::u16string hostPath;
    bool found = false;
    for (const char16_t* extension : kExtensions) {
        AssociationAttempt* attempt = nullptr;
        if (trace) {
            attempt = &trace->associations.emplace_back();
            attempt->extension = extension;
        }
        platform::RegKey key;
        if (key.open(*s.services.registry, Root::ClassesRoot, extension) == status::success &&
            GetAssociatedExePath(hostPath, std::move(key), attempt)) {
            found = true;
            break;
        }
    }
    if (!found)
        return noKey(trace, Reason::NoAssociation);
    if (LoadProductRootKey(hostPath, hookAttempt(trace, &DiscoveryTrace::hostHook))) {
        if (trace)
            trace->decide(Rule::HookHost, Reason::HookAnswered, s.appKeyCache);
        return 0;
    }
    SelectAppKey(hostPath, trace);
    return 0;
}

bool LoadProductRootKey(const std::u16string& path, HookAttempt* attempt) {
    frame::LibraryState& s = lib();
    std::array<char16_t, 3> drive{};
    std::array<char16_t, 256> dir{};
    std::array<char16_t, 256> name{};
    std::array<char16_t, 256> ext{};
    // A path whose parts don't fit the buffers names no hook: composing a bare "userdata.dll"
    // from the emptied parts would ask the loader's search instead of the folder meant.
    if (attempt)
        attempt->besidePath = path;
    if (splitPath(path.c_str(), drive.data(), drive.size(), dir.data(), dir.size(), name.data(),
                  name.size(), ext.data(), ext.size()) != 0)
        return !s.appKeyCache.empty();
    std::array<char16_t, kCompositionUnits> buffer{};
    if (makePath(buffer.data(), buffer.size(), drive.data(), dir.data(), u"userdata", u"dll") != 0)
        return !s.appKeyCache.empty();
    if (attempt) {
        attempt->composed = textOf(buffer.data(), kCompositionUnits);
        attempt->result = HookResult::NotLoaded;
    }

    platform::Module hook;
    if (hook.load(*s.services.modules, buffer.data())) {
        if (attempt) {
            attempt->loadedFrom = loadedFile(*s.services.modules, hook.handle());
            attempt->result = HookResult::NoEntryPoint;
        }
        if (auto entry = reinterpret_cast<HookFn>(
                s.services.modules->entryPoint(hook.handle(), kHookEntryPoint))) {
            // The key is copied before the hook is unloaded; a key that fills the whole buffer
            // without a terminator is taken as far as the buffer goes.
            if (entry(buffer.data(), kCompositionUnits) != 0)
                s.appKeyCache = textOf(buffer.data(), kCompositionUnits);
            if (attempt)
                attempt->result =
                    s.appKeyCache.empty() ? HookResult::Declined : HookResult::Answered;
        }
    }
    hook.reset();
    return !s.appKeyCache.empty();
}

bool GetAssociatedExePath(std::u16string& out, platform::RegKey extensionKey,
                          AssociationAttempt* attempt) {
    frame::LibraryState& s = lib();
    std::array<char16_t, kAssociationUnits> buffer{};
    const bool read = readAssociation(extensionKey, buffer);
    extensionKey.close();
    // Each step the association fails at is the result it ends with.
    const auto fails = [attempt](AssociationResult result) {
        if (attempt)
            attempt->result = result;
        return false;
    };
    if (!read)
        return fails(AssociationResult::NoProgId);
    // An identifier too long to take the command key's path within the buffer names no
    // command.
    std::u16string commandKey = textOf(buffer.data(), kAssociationUnits);
    if (attempt)
        attempt->progId = commandKey;
    constexpr std::u16string_view suffix = u"\\shell\\open\\command";
    if (commandKey.size() + suffix.size() >= kAssociationUnits)
        return fails(AssociationResult::ProgIdTooLong);
    commandKey += suffix;

    platform::RegKey key;
    if (key.open(*s.services.registry, Root::ClassesRoot, commandKey.c_str()) != status::success)
        return fails(AssociationResult::NoCommandKey);
    const bool commandRead = readAssociation(key, buffer);
    key.close();
    if (!commandRead)
        return fails(AssociationResult::NoCommand);
    out = exePathFromCommand(textOf(buffer.data(), kAssociationUnits));
    if (attempt) {
        attempt->command = textOf(buffer.data(), kAssociationUnits);
        attempt->hostPath = out;
        attempt->result = AssociationResult::Followed;
    }
    return true;
}

std::u16string exePathFromCommand(std::u16string command) {
    std::size_t start = 0;
    while (start < command.size() && command[start] <= 0x20)
        ++start;
    if (start < command.size() && command[start] == u'"') {
        const std::size_t close = command.find(u'"', start + 1);
        return command.substr(start + 1, close == std::u16string::npos ? std::u16string::npos
                                                                       : close - start - 1);
    }
    // Unquoted, the command is taken in upper case and ends at the first ".EXE ".
    std::u16string rest = command.substr(start);
    lib().services.text->toUpper(rest);
    const std::size_t exe = rest.find(u".EXE ");
    return exe == std::u16string::npos ? std::u16string() : rest.substr(0, exe + 4);
}

} // namespace tavlo::appkey
