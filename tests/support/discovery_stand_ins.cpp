#include "discovery_stand_ins.h"

#include "appkey/discovery.h"

#include <algorithm>

namespace tavlo::test {

namespace {
// The hook whose entry point was looked up last: the library calls what it was given at once.
const HookModules::Hook* pendingHook = nullptr;
HookModules* pendingModules = nullptr;
} // namespace

HookModules::HookModules(std::u16string libraryPath,
                         std::map<std::uint32_t, std::u16string> strings)
    : libraryPath(std::move(libraryPath)), strings_(std::move(strings)) {}

platform::ModuleHandle HookModules::load(const char16_t* nameOrPath) {
    const std::u16string name(nameOrPath ? nameOrPath : u"");
    if (name == u"tavlo9Res.dll")
        return table();
    loads.push_back(name);
    const auto it = hooks_.find(name);
    if (it == hooks_.end())
        return nullptr;
    ++hookLoads;
    return &it->second;
}

void* HookModules::entryPoint(platform::ModuleHandle module, const char* name) {
    const auto it = std::find_if(hooks_.begin(), hooks_.end(),
                                 [&](const auto& hook) { return &hook.second == module; });
    if (it == hooks_.end() || !it->second.hasEntryPoint ||
        std::string_view(name) != appkey::kHookEntryPoint)
        return nullptr;
    pendingHook = &it->second;
    pendingModules = this;
    return reinterpret_cast<void*>(&HookModules::entry);
}

std::uint32_t HookModules::entry(char16_t* buffer, std::uint32_t capacity) {
    pendingModules->calls.push_back({std::u16string(buffer), capacity});
    const std::u16string& key = pendingHook->key;
    const std::size_t n = std::min<std::size_t>(key.size(), capacity - 1);
    std::copy_n(key.begin(), n, buffer);
    buffer[n] = u'\0';
    return pendingHook->result;
}

void HookModules::free(platform::ModuleHandle module) {
    if (module != table())
        ++frees;
}

std::uint32_t HookModules::moduleFileName(platform::ModuleHandle, char16_t* buffer,
                                          std::uint32_t capacity) {
    ++fileNameQueries;
    if (libraryPath.empty() || capacity == 0)
        return 0;
    const std::size_t n = std::min<std::size_t>(libraryPath.size(), capacity - 1);
    std::copy_n(libraryPath.begin(), n, buffer);
    buffer[n] = u'\0';
    return static_cast<std::uint32_t>(n);
}

std::u16string HookModules::loadString(platform::ModuleHandle module, std::uint32_t id) {
    const auto it = strings_.find(id);
    return module == table() && it != strings_.end() ? it->second : std::u16string();
}

std::vector<std::u16string> RecordingRegistry::opensBelow(platform::Root root) const {
    std::vector<std::u16string> paths;
    for (const auto& [where, path] : opens)
        if (where == root)
            paths.push_back(path);
    return paths;
}

platform::Status RecordingRegistry::openKey(platform::Root root, const char16_t* subKey,
                                            platform::KeyHandle* key) {
    opens.emplace_back(root, subKey ? subKey : u"");
    return real_.openKey(root, subKey, key);
}

platform::Status RecordingRegistry::queryValue(platform::KeyHandle key, const char16_t* name,
                                               std::uint32_t* type, std::uint8_t* data,
                                               std::uint32_t* size) {
    ++queries;
    return real_.queryValue(key, name, type, data, size);
}

namespace {
platform::Services sandboxServices(RecordingRegistry& registry, HookModules& modules,
                                   KnownFiles& files) {
    platform::Services services = platform::defaultServices();
    services.registry = &registry;
    services.modules = &modules;
    services.files = &files;
    return services;
}
} // namespace

LibrarySandbox::LibrarySandbox()
    : modules(kLibraryDir + u"tavlo9.dll",
              {{54, u"Caption"}, {55, u"M55[%1]"}, {57, u"M57[%1]"}, {61, u"M61[%1]"}}),
      scope(sandboxServices(registry, modules, files)) {
    scope.get().resourceModule = modules.table();
    scope.get().errorHandler = &handler;
}

void LibrarySandbox::associate(const std::u16string& extension, const std::u16string& command,
                               std::uint32_t type) {
    const std::u16string progId = u"Plot" + extension;
    scratch.setString(Root::ClassesRoot, extension, nullptr, progId);
    scratch.setRaw(Root::ClassesRoot, progId + u"\\shell\\open\\command", nullptr, type,
                   utf16Bytes(command));
}

void LibrarySandbox::registerApp(const std::u16string& name, const char16_t* location, bool userKey,
                                 std::uint32_t mark) {
    scratch.setDword(Root::LocalMachine, kOutprintKey, name.c_str(), mark);
    const std::u16string key = u"Software\\" + name;
    std::u16string lower = key;
    for (char16_t& c : lower)
        c = c >= u'A' && c <= u'Z' ? c + 32 : c;
    if (userKey)
        scratch.createKey(Root::CurrentUser, key);
    if (!location)
        return;
    scratch.setString(Root::LocalMachine, key,
                      lower.find(u"\\corvida\\") != std::u16string::npos ? u"KoraLocation"
                                                                         : u"Location",
                      location);
    std::u16string onDisk(location);
    while (!onDisk.empty() && onDisk.back() == u'\\')
        onDisk.pop_back();
    files.paths.insert(onDisk);
}

std::vector<std::u16string> LibrarySandbox::reports() const {
    std::vector<std::u16string> messages;
    for (const auto& call : handler.calls)
        messages.push_back(call.message);
    return messages;
}

} // namespace tavlo::test
