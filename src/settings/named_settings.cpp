#include "settings/named_settings.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "registry/profile.h"
#include "settings/profile_directories.h"

#include <optional>

namespace tavlo::settings {

namespace {

// Several settings are named after the host: one name when it is the Corvida product, another
// for every other product. No answer when the host can't be found at all; a catalogue failure
// passes to the caller.
std::optional<bool> hostIsKora() {
    if (!appkey::ensureAppKey())
        return std::nullopt;
    return appkey::hostIsKora();
}

enum class Reader { Directory, FromPathname };

std::u16string directory(Reader reader, const char16_t* section, const char16_t* name,
                         const char16_t* subFolder) {
    std::u16string out;
    if (reader == Reader::Directory)
        GetProfileDirectory(out, section, name, subFolder);
    else
        GetProfileDirectoryFromPathname(out, section, name, subFolder);
    return out;
}

// A directory whose value name depends on the host; empty when the host can't be found.
std::u16string hostDirectory(Reader reader, const char16_t* section, const char16_t* koraName,
                             const char16_t* otherName, const char16_t* subFolder) {
    const std::optional<bool> kora = hostIsKora();
    if (!kora)
        return {};
    return directory(reader, section, *kora ? koraName : otherName, subFolder);
}

// A profile string as stored; what a failed read leaves (usually nothing) otherwise.
std::u16string profileString(const char16_t* section, const char16_t* name,
                             std::uint32_t initialSize) {
    std::u16string out;
    registry::readProfileStr(out, section, name, initialSize);
    return out;
}

std::u16string hostString(const char16_t* section, const char16_t* koraName,
                          const char16_t* otherName, std::uint32_t initialSize) {
    const std::optional<bool> kora = hostIsKora();
    if (!kora)
        return {};
    return profileString(section, *kora ? koraName : otherName, initialSize);
}

std::uint32_t profileNumber(const char16_t* name, std::uint32_t fallback) {
    std::uint32_t value = fallback;
    registry::GetProfileDWord(&value, u"General", name);
    return value;
}

} // namespace

std::u16string GetDriverDirectory() {
    return hostDirectory(Reader::Directory, u"General", u"KORADRV", u"DRIVER", u"Drv");
}

std::u16string GetPlottersDirectory() {
    return directory(Reader::Directory, u"General", u"PrinterConfigDir", u"Plotters");
}

std::u16string GetPlotStylesDirectory() {
    return directory(Reader::Directory, u"General", u"PrinterStyleSheetDir", u"Plot Styles");
}

std::u16string GetPMPDirectory() {
    return directory(Reader::Directory, u"General", u"PrinterDescDir", u"Plotters");
}

std::u16string GetPlotSpoolerDirectory() {
    return directory(Reader::Directory, u"General Configuration", u"PlotSpoolerDirectory", u"");
}

std::u16string GetHelpDirectory() {
    return hostDirectory(Reader::FromPathname, u"General", u"KORAHELP", u"HELP", u"Help");
}

std::u16string GetLogFileDirectory() {
    // Read under one name for every host; only a host that can't be found changes the answer.
    return hostDirectory(Reader::Directory, u"Editor Configuration", u"LogFilePath", u"LogFilePath",
                         u"");
}

std::u16string GetSupportFileSearchPath() {
    return hostString(u"General", u"KORA", u"Support", 512);
}

std::u16string GetAutospoolCommandString() {
    return hostString(u"General", u"KORAPLCMD", u"PLOTCOMMAND", 512);
}

std::u16string GetDefaultLoginName() {
    return profileString(u"General Configuration", u"DefaultLoginName", 512);
}

std::u16string GetDefaultPlotToFile() {
    return profileString(u"General Configuration", u"DefaultPlotToFile", 512);
}

std::u16string GetDefaultPlotStyleTable() {
    return profileString(u"General", u"NewStyleSheet", 260);
}

std::uint32_t GetRasterThreshold() {
    return profileNumber(u"RASTERTHRESHOLD", 20);
}

std::uint32_t GetRasterPercent() {
    return profileNumber(u"RASTERPERCENT", 20);
}

std::uint32_t GetCurrentPlotStylePolicy() {
    return profileNumber(u"PSTYLEPOLICY", 1);
}

std::uint32_t GetHideSystemPrinters() {
    return profileNumber(u"HideSystemPrinters", 0);
}

bool IsR14RasterPlotSysVarSet() {
    std::uint32_t value = 0;
    if (registry::GetFixedProfileDWord(value, u"General Configuration", u"R14RasterPlot") != 0)
        return false;
    return value == 1;
}

} // namespace tavlo::settings
