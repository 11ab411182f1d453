#include "settings_sandbox.h"

#include "appkey/app_key.h"

namespace tavlo::test {

namespace {
platform::Services sandboxServices(SettingsSandbox& s) {
    platform::Services services = platform::defaultServices();
    services.registry = &s.registry;
    services.modules = &s.modules;
    services.ui = &s.ui;
    return services;
}
} // namespace

SettingsSandbox::SettingsSandbox(std::u16string appKey)
    : key(std::move(appKey)), scope(sandboxServices(*this)) {
    modules.add(u"tavlo9Res.dll").strings = {
        {54, u"Caption"}, {55, u"55[%1]"}, {57, u"57[%1]"}, {61, u"61[%1]"}};
    scope.get().resourceModule = modules.handleOf(u"tavlo9Res.dll");
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
    listFiles();
    scratch.setDword(Root::LocalMachine, kOutprintKey, name.c_str(), mark);
    const std::u16string appKey = u"Software\\" + name;
    if (userKey)
        scratch.createKey(Root::CurrentUser, appKey);
    if (!location)
        return;
    scratch.setString(Root::LocalMachine, appKey,
                      appkey::isKoraKey(appKey) ? u"KoraLocation" : u"Location", location);
    std::u16string onDisk(location);
    onDisk.erase(onDisk.find_last_not_of(u'\\') + 1);
    files.tree[onDisk];
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
