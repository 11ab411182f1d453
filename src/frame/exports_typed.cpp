// The typed exports: the library's typed operations under their public C++ names.
#include "appkey/app_key.h"
#include "registry/machine_strings.h"
#include "registry/profile.h"
#include "tavlo/tavlo.hpp"

TAVLO_API std::u16string GetAppKey(const char16_t* name) {
    return tavlo::appkey::GetAppKey(name);
}

TAVLO_API TavloRetVal GetHKeyLocalMachineString(std::u16string& value, const char16_t* name,
                                                std::uint32_t size) {
    return tavlo::registry::GetHKeyLocalMachineString(value, name, size);
}

TAVLO_API TavloRetVal GetProfileStr(std::u16string& value, const char16_t* section,
                                    const char16_t* name, std::uint32_t size) {
    return tavlo::registry::GetProfileStr(value, section, name, size);
}

TAVLO_API TavloRetVal GetFixedProfileDWord(std::uint32_t& value, const char16_t* key,
                                           const char16_t* name) {
    return tavlo::registry::GetFixedProfileDWord(value, key, name);
}

TAVLO_API std::u16string GetCurrentProfileKey() {
    return tavlo::registry::GetCurrentProfileKey();
}
