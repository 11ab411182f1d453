// The typed exports: the library's typed operations under their public C++ names.
#include "appkey/app_key.h"
#include "frame/strings.h"
#include "help/help_search.h"
#include "identity/identity.h"
#include "identity/notice.h"
#include "settings/named_settings.h"
#include "settings/profile_directories.h"
#include "tavlo/tavlo.hpp"
#include "values/machine_strings.h"
#include "values/profile.h"

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

TAVLO_API TavloRetVal GetProfileDirectory(std::u16string& directory, const char16_t* section,
                                          const char16_t* name, const char16_t* subFolder) {
    return tavlo::settings::GetProfileDirectory(directory, section, name, subFolder);
}

TAVLO_API TavloRetVal GetProfileDirectoryFromPathname(std::u16string& directory,
                                                      const char16_t* section, const char16_t* name,
                                                      const char16_t* subFolder) {
    return tavlo::settings::GetProfileDirectoryFromPathname(directory, section, name, subFolder);
}

TAVLO_API std::u16string GetDriverDirectory() {
    return tavlo::frame::written<tavlo::settings::GetDriverDirectory>();
}
TAVLO_API std::u16string GetPlottersDirectory() {
    return tavlo::frame::written<tavlo::settings::GetPlottersDirectory>();
}
TAVLO_API std::u16string GetPlotStylesDirectory() {
    return tavlo::frame::written<tavlo::settings::GetPlotStylesDirectory>();
}
TAVLO_API std::u16string GetPMPDirectory() {
    return tavlo::frame::written<tavlo::settings::GetPMPDirectory>();
}
TAVLO_API std::u16string GetPlotSpoolerDirectory() {
    return tavlo::frame::written<tavlo::settings::GetPlotSpoolerDirectory>();
}
TAVLO_API std::u16string GetHelpDirectory() {
    return tavlo::frame::written<tavlo::settings::GetHelpDirectory>();
}
TAVLO_API std::u16string GetLogFileDirectory() {
    return tavlo::frame::written<tavlo::settings::GetLogFileDirectory>();
}
TAVLO_API std::u16string GetSupportFileSearchPath() {
    return tavlo::frame::written<tavlo::settings::GetSupportFileSearchPath>();
}

TAVLO_API std::u16string GetAutospoolCommandString() {
    return tavlo::frame::written<tavlo::settings::GetAutospoolCommandString>();
}
TAVLO_API std::u16string GetDefaultLoginName() {
    return tavlo::frame::written<tavlo::settings::GetDefaultLoginName>();
}
TAVLO_API std::u16string GetDefaultPlotToFile() {
    return tavlo::frame::written<tavlo::settings::GetDefaultPlotToFile>();
}
TAVLO_API std::u16string GetDefaultPlotStyleTable() {
    return tavlo::frame::written<tavlo::settings::GetDefaultPlotStyleTable>();
}
TAVLO_API std::uint32_t GetRasterThreshold() {
    return tavlo::settings::GetRasterThreshold();
}
TAVLO_API std::uint32_t GetRasterPercent() {
    return tavlo::settings::GetRasterPercent();
}
TAVLO_API std::uint32_t GetCurrentPlotStylePolicy() {
    return tavlo::settings::GetCurrentPlotStylePolicy();
}
TAVLO_API std::uint32_t GetHideSystemPrinters() {
    return tavlo::settings::GetHideSystemPrinters();
}
TAVLO_API bool IsR14RasterPlotSysVarSet() {
    return tavlo::settings::IsR14RasterPlotSysVarSet();
}

// The two number getters that flat callers know by a flat name are the same functions under a
// second name.
TAVLO_EXTERN_C TAVLO_API std::uint32_t _GetCurrentPlotStylePolicy()
    __attribute__((alias("_Z25GetCurrentPlotStylePolicyv")));
TAVLO_EXTERN_C TAVLO_API std::uint32_t _GetHideSystemPrinters()
    __attribute__((alias("_Z21GetHideSystemPrintersv")));

TAVLO_API std::u16string GetAppDirectory() {
    return tavlo::frame::written<tavlo::identity::GetAppDirectory>();
}
TAVLO_API std::u16string GetLanguage() {
    return tavlo::frame::written<tavlo::identity::GetLanguage>();
}
TAVLO_API std::u16string GetProductName() {
    return tavlo::frame::written<tavlo::identity::GetProductName>();
}
TAVLO_API std::u16string GetProgramName() {
    return tavlo::identity::GetProgramName();
}
TAVLO_API std::u16string GetCompanyName() {
    return tavlo::identity::GetCompanyName();
}
TAVLO_API std::u16string GetProductBaseName() {
    return tavlo::identity::GetProductBaseName();
}

TAVLO_API bool IsBackDoorDriverAvailable(const char16_t* driverName, std::u16string& notice) {
    return tavlo::identity::IsBackDoorDriverAvailable(driverName, notice);
}

TAVLO_API bool FindHelpPathname(const char16_t* name, std::u16string& pathname) {
    return tavlo::help::FindHelpPathname(name, pathname);
}
