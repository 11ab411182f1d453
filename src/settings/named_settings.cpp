#include "settings/named_settings.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "settings/profile_directories.h"
#include "values/profile.h"

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

// Room for a directory as read (MAX_PATH) and a default sub-folder after it, so that the reads
// and the default are written into one allocation, kept by a caller that reuses out.
constexpr std::size_t kDirectoryRoom = 260 + 32;

void directory(std::u16string& out, Reader reader, const char16_t* section, const char16_t* name,
               const char16_t* subFolder) {
    // Read as into a fresh string: a failed read leaves nothing of out's former text.
    out.clear();
    if (out.capacity() < kDirectoryRoom)
        out.reserve(kDirectoryRoom);
    if (reader == Reader::Directory)
        GetProfileDirectory(out, section, name, subFolder);
    else
        GetProfileDirectoryFromPathname(out, section, name, subFolder);
}

// A directory whose value name depends on the host; empty when the host can't be found.
void hostDirectory(std::u16string& out, Reader reader, const char16_t* section,
                   const char16_t* koraName, const char16_t* otherName, const char16_t* subFolder) {
    const std::optional<bool> kora = hostIsKora();
    if (!kora) {
        out.clear();
        return;
    }
    directory(out, reader, section, *kora ? koraName : otherName, subFolder);
}

// A profile string as stored; what a failed read leaves (usually nothing) otherwise.
void profileString(std::u16string& out, const char16_t* section, const char16_t* name,
                   std::uint32_t initialSize) {
    out.clear();
    registry::readProfileStr(out, section, name, initialSize);
}

void hostString(std::u16string& out, const char16_t* section, const char16_t* koraName,
                const char16_t* otherName, std::uint32_t initialSize) {
    const std::optional<bool> kora = hostIsKora();
    if (!kora) {
        out.clear();
        return;
    }
    profileString(out, section, *kora ? koraName : otherName, initialSize);
}

std::uint32_t profileNumber(const char16_t* name, std::uint32_t fallback) {
    std::uint32_t value = fallback;
    registry::GetProfileDWord(&value, u"General", name);
    return value;
}

} // namespace

void GetDriverDirectory(std::u16string& out) {
    hostDirectory(out, Reader::Directory, u"General", u"KORADRV", u"DRIVER", u"Drv");
}

void GetPlottersDirectory(std::u16string& out) {
    directory(out, Reader::Directory, u"General", u"PrinterConfigDir", u"Plotters");
}

void GetPlotStylesDirectory(std::u16string& out) {
    directory(out, Reader::Directory, u"General", u"PrinterStyleSheetDir", u"Plot Styles");
}

void GetPMPDirectory(std::u16string& out) {
    directory(out, Reader::Directory, u"General", u"PrinterDescDir", u"Plotters");
}

void GetPlotSpoolerDirectory(std::u16string& out) {
    directory(out, Reader::Directory, u"General Configuration", u"PlotSpoolerDirectory", u"");
}

void GetHelpDirectory(std::u16string& out) {
    hostDirectory(out, Reader::FromPathname, u"General", u"KORAHELP", u"HELP", u"Help");
}

void GetLogFileDirectory(std::u16string& out) {
    // Read under one name for every host; only a host that can't be found changes the answer.
    hostDirectory(out, Reader::Directory, u"Editor Configuration", u"LogFilePath", u"LogFilePath",
                  u"");
}

void GetSupportFileSearchPath(std::u16string& out) {
    hostString(out, u"General", u"KORA", u"Support", 512);
}

void GetAutospoolCommandString(std::u16string& out) {
    hostString(out, u"General", u"KORAPLCMD", u"PLOTCOMMAND", 512);
}

void GetDefaultLoginName(std::u16string& out) {
    profileString(out, u"General Configuration", u"DefaultLoginName", 512);
}

void GetDefaultPlotToFile(std::u16string& out) {
    profileString(out, u"General Configuration", u"DefaultPlotToFile", 512);
}

void GetDefaultPlotStyleTable(std::u16string& out) {
    profileString(out, u"General", u"NewStyleSheet", 260);
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
