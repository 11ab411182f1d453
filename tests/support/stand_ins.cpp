#include "stand_ins.h"

namespace tavlo::test {

StringTableModules::StringTableModules(std::map<std::uint32_t, std::u16string> strings)
    : strings_(std::move(strings)), real_(*platform::defaultServices().modules) {}

platform::ModuleHandle StringTableModules::load(const char16_t* nameOrPath) {
    loads.emplace_back(nameOrPath ? nameOrPath : u"");
    if (loads.back() == u"tavlo9Res.dll")
        return table();
    return real_.load(nameOrPath);
}

void* StringTableModules::entryPoint(platform::ModuleHandle module, const char* name) {
    return module == table() ? nullptr : real_.entryPoint(module, name);
}

void* StringTableModules::entryPointByOrdinal(platform::ModuleHandle module,
                                              std::uint16_t ordinal) {
    return module == table() ? nullptr : real_.entryPointByOrdinal(module, ordinal);
}

void StringTableModules::free(platform::ModuleHandle module) {
    ++frees;
    if (module != table())
        real_.free(module);
}

platform::ModuleHandle StringTableModules::moduleContaining(const void* address) {
    return real_.moduleContaining(address);
}

std::uint32_t StringTableModules::moduleFileName(platform::ModuleHandle module, char16_t* buffer,
                                                 std::uint32_t capacity) {
    return real_.moduleFileName(module, buffer, capacity);
}

std::u16string StringTableModules::loadString(platform::ModuleHandle module, std::uint32_t id) {
    if (module != table())
        return real_.loadString(module, id);
    auto it = strings_.find(id);
    return it == strings_.end() ? std::u16string() : it->second;
}

int RecordingHandler::DisplayError(const TavloChar* message, const TavloChar* caption,
                                   std::uint32_t style, std::int32_t reserved) {
    calls.push_back({reinterpret_cast<const char16_t*>(message),
                     reinterpret_cast<const char16_t*>(caption), style, reserved});
    return 1;
}

platform::Services servicesWith(platform::ModuleService* modules, platform::UiService* ui) {
    platform::Services services = platform::defaultServices();
    if (modules)
        services.modules = modules;
    if (ui)
        services.ui = ui;
    return services;
}

} // namespace tavlo::test
