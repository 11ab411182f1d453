#include "settings_sandbox.h"

#include <algorithm>

namespace tavlo::test {

namespace {
const std::u16string kLibraryPath = u"C:\\Lib\\tavlo9.dll";

platform::Services sandboxServices(platform::ModuleService& modules) {
    platform::Services services = platform::defaultServices();
    services.modules = &modules;
    return services;
}
} // namespace

platform::ModuleHandle LoneLibraryModules::load(const char16_t* nameOrPath) {
    return std::u16string_view(nameOrPath ? nameOrPath : u"") == u"tavlo9Res.dll" ? &strings
                                                                                  : nullptr;
}

std::uint32_t LoneLibraryModules::moduleFileName(platform::ModuleHandle, char16_t* buffer,
                                                 std::uint32_t capacity) {
    if (capacity == 0)
        return 0;
    const std::size_t n = std::min<std::size_t>(kLibraryPath.size(), capacity - 1);
    std::copy_n(kLibraryPath.begin(), n, buffer);
    buffer[n] = u'\0';
    return static_cast<std::uint32_t>(n);
}

std::u16string LoneLibraryModules::loadString(platform::ModuleHandle module, std::uint32_t id) {
    const auto it = strings.find(id);
    return module == &strings && it != strings.end() ? it->second : std::u16string();
}

SettingsSandbox::SettingsSandbox(std::u16string appKey)
    : key(std::move(appKey)), scope(sandboxServices(modules)) {
    scope.get().resourceModule = &modules.strings;
    scope.get().errorHandler = &handler;
    scope.get().appKeyCache = key;
    if (!key.empty())
        scratch.setString(Root::CurrentUser, key + u"\\Profiles", nullptr, kProfile);
}

void SettingsSandbox::profile(const char16_t* section, const char16_t* name,
                              std::u16string_view text) {
    profileRaw(section, name, platform::regtype::sz, utf16Bytes(text));
}

void SettingsSandbox::profileRaw(const char16_t* section, const char16_t* name, std::uint32_t type,
                                 const std::vector<std::uint8_t>& data) {
    scratch.setRaw(Root::CurrentUser, key + u"\\Profiles\\" + kProfile + u"\\" + section, name,
                   type, data);
}

void SettingsSandbox::profileDword(const char16_t* section, const char16_t* name,
                                   std::uint32_t value) {
    scratch.setDword(Root::CurrentUser, key + u"\\Profiles\\" + kProfile + u"\\" + section, name,
                     value);
}

void SettingsSandbox::machine(const char16_t* name, std::u16string_view text) {
    scratch.setString(Root::LocalMachine, key, name, text);
}

void SettingsSandbox::user(const char16_t* name, std::u16string_view text, std::uint32_t type) {
    scratch.setRaw(Root::CurrentUser, key, name, type, utf16Bytes(text));
}

void SettingsSandbox::catalogueRaises() {
    scratch.setString(Root::ClassesRoot, u".pc3", nullptr, u"Plot.pc3");
    scratch.setString(Root::ClassesRoot, u"Plot.pc3\\shell\\open\\command", nullptr,
                      u"\"C:\\Host\\host.exe\" \"%1\"");
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
