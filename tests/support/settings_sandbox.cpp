#include "settings_sandbox.h"

#include "appkey/app_key.h"
#include "appkey/discovery.h"

#include <algorithm>

namespace tavlo::test {

namespace {
// The hook whose entry point was looked up last: the library calls what it was given at once.
const HookModules::Hook* pendingHook = nullptr;
HookModules* pendingModules = nullptr;

platform::Services sandboxServices(RecordingRegistry& registry, HookModules& modules) {
    platform::Services services = platform::defaultServices();
    services.registry = &registry;
    services.modules = &modules;
    return services;
}
} // namespace

platform::ModuleHandle HookModules::load(const char16_t* nameOrPath) {
    const std::u16string name(nameOrPath ? nameOrPath : u"");
    if (name == u"tavlo9Res.dll")
        return &strings;
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
    pendingModules->calls.emplace_back(buffer, capacity);
    const std::size_t n = std::min<std::size_t>(pendingHook->key.size(), capacity - 1);
    std::copy_n(pendingHook->key.begin(), n, buffer);
    buffer[n] = u'\0';
    return pendingHook->result;
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

SettingsSandbox::SettingsSandbox(std::u16string appKey)
    : key(std::move(appKey)), scope(sandboxServices(registry, modules)) {
    scope.get().resourceModule = &modules.strings;
    scope.get().errorHandler = &handler;
    scope.get().appKeyCache = key;
    if (!key.empty())
        scratch.setString(Root::CurrentUser, key + u"\\Profiles", nullptr, u"P");
}

void SettingsSandbox::profile(const char16_t* section, const char16_t* name,
                              std::u16string_view text, std::uint32_t type) {
    scratch.setRaw(Root::CurrentUser, key + u"\\Profiles\\P\\" + section, name, type,
                   utf16Bytes(text));
}

void SettingsSandbox::profileDword(const char16_t* section, const char16_t* name,
                                   std::uint32_t value) {
    scratch.setDword(Root::CurrentUser, key + u"\\Profiles\\P\\" + section, name, value);
}

void SettingsSandbox::machine(const char16_t* name, std::u16string_view text) {
    scratch.setString(Root::LocalMachine, key, name, text);
}

void SettingsSandbox::associate(const std::u16string& extension, const std::u16string& command,
                                std::uint32_t type) {
    scratch.setString(Root::ClassesRoot, extension, nullptr, u"Plot" + extension);
    scratch.setRaw(Root::ClassesRoot, u"Plot" + extension + u"\\shell\\open\\command", nullptr,
                   type, utf16Bytes(command));
}

void SettingsSandbox::registerApp(const std::u16string& name, const char16_t* location,
                                  bool userKey, std::uint32_t mark) {
    scope.get().services.files = &files;
    scratch.setDword(Root::LocalMachine, kOutprintKey, name.c_str(), mark);
    const std::u16string appKey = u"Software\\" + name;
    if (userKey)
        scratch.createKey(Root::CurrentUser, appKey);
    if (!location)
        return;
    scratch.setString(Root::LocalMachine, appKey,
                      appkey::isKoraKey(appKey) ? u"KoraLocation" : u"Location", location);
    std::u16string onDisk(location);
    while (!onDisk.empty() && onDisk.back() == u'\\')
        onDisk.pop_back();
    files.paths.insert(onDisk);
}

std::string SettingsSandbox::reportIds() const {
    std::string ids;
    for (const auto& call : handler.calls) {
        const std::u16string id = call.message.substr(0, call.message.find(u'['));
        ids += (ids.empty() ? "" : " ") + std::string(id.begin(), id.end());
    }
    return ids;
}

} // namespace tavlo::test
