#include "settings/setting_table.h"

#include "identity/identity.h"
#include "settings/named_settings.h"

#include <array>

namespace tavlo::settings {

namespace {

namespace rows = registry::rows;
using Kind = registry::Default::Kind;

void decimal(std::u16string& out, std::uint32_t value) {
    const std::string digits = std::to_string(value);
    out.assign(digits.begin(), digits.end());
}

template <std::uint32_t (*Get)()> void numberText(std::u16string& out) {
    decimal(out, Get());
}

void flagText(std::u16string& out) {
    decimal(out, IsR14RasterPlotSysVarSet() ? 1 : 0);
}

template <std::u16string (*Get)()> void keyPart(std::u16string& out) {
    out = Get();
}

constexpr std::array kTable{
    SettingEntry{&rows::appDirectory, identity::GetAppDirectory},
    SettingEntry{&rows::language, identity::GetLanguage},
    SettingEntry{&rows::productName, identity::GetProductName},
    SettingEntry{&rows::programName, keyPart<identity::GetProgramName>},
    SettingEntry{&rows::companyName, keyPart<identity::GetCompanyName>},
    SettingEntry{&rows::productBaseName, keyPart<identity::GetProductBaseName>},
    SettingEntry{&rows::driverDirectory, GetDriverDirectory},
    SettingEntry{&rows::plottersDirectory, GetPlottersDirectory},
    SettingEntry{&rows::plotStylesDirectory, GetPlotStylesDirectory},
    SettingEntry{&rows::pmpDirectory, GetPMPDirectory},
    SettingEntry{&rows::plotSpoolerDirectory, GetPlotSpoolerDirectory},
    SettingEntry{&rows::helpDirectory, GetHelpDirectory},
    SettingEntry{&rows::logFileDirectory, GetLogFileDirectory},
    SettingEntry{&rows::supportFileSearchPath, GetSupportFileSearchPath},
    SettingEntry{&rows::autospoolCommandString, GetAutospoolCommandString},
    SettingEntry{&rows::defaultLoginName, GetDefaultLoginName},
    SettingEntry{&rows::defaultPlotToFile, GetDefaultPlotToFile},
    SettingEntry{&rows::defaultPlotStyleTable, GetDefaultPlotStyleTable},
    SettingEntry{&rows::rasterThreshold, numberText<GetRasterThreshold>},
    SettingEntry{&rows::rasterPercent, numberText<GetRasterPercent>},
    SettingEntry{&rows::currentPlotStylePolicy, numberText<GetCurrentPlotStylePolicy>},
    SettingEntry{&rows::hideSystemPrinters, numberText<GetHideSystemPrinters>},
    SettingEntry{&rows::r14RasterPlot, flagText},
};

} // namespace

std::span<const SettingEntry> settingTable() {
    return kTable;
}

const SettingEntry* findSetting(std::string_view name) {
    for (const SettingEntry& entry : kTable)
        if (name == entry.row->name)
            return &entry;
    return nullptr;
}

std::u16string defaultInWords(const registry::Default& byDefault) {
    std::u16string words;
    switch (byDefault.kind) {
    case Kind::None:
        return u"nothing";
    case Kind::Empty:
        return u"the empty string";
    case Kind::Number:
        decimal(words, byDefault.number);
        return words;
    case Kind::BelowAppDir:
        words = u"application directory";
        break;
    case Kind::BelowRoamableRoot:
        words = u"roamable root";
        break;
    }
    if (*byDefault.folder == u'\0')
        return u"the " + words;
    return words + u'\\' + byDefault.folder;
}

} // namespace tavlo::settings
