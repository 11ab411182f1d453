#include "settings/named_settings.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "settings/profile_directories.h"
#include "values/profile.h"
#include "values/setting_rows.h"

#include <optional>

namespace tavlo::settings {

namespace {

using registry::HostRule;
using registry::SettingRow;
namespace rows = registry::rows;

// The value name the row reads for this host. Null when the row asks for the host first and it
// can't be found; a catalogue failure passes to the caller.
const char16_t* nameForHost(const SettingRow& row) {
    if (row.host == HostRule::Any)
        return row.valueName;
    if (!appkey::ensureAppKey())
        return nullptr;
    return row.nameFor(appkey::hostIsKora());
}

// Room for a directory as read (MAX_PATH) and a default sub-folder after it, so that the reads
// and the default are written into one allocation, kept by a caller that reuses out.
constexpr std::size_t kDirectoryRoom = 260 + 32;

// A directory, or its default; empty when the host can't be found.
void directory(std::u16string& out, const SettingRow& row) {
    const char16_t* name = nameForHost(row);
    // Read as into a fresh string: a failed read leaves nothing of out's former text.
    out.clear();
    if (!name)
        return;
    if (out.capacity() < kDirectoryRoom)
        out.reserve(kDirectoryRoom);
    readDirectory(out, row, name);
}

// A profile string as stored; what a failed read leaves (usually nothing) otherwise.
void profileString(std::u16string& out, const SettingRow& row) {
    const char16_t* name = nameForHost(row);
    out.clear();
    if (name)
        registry::readProfileStr(out, row.section, name, row.room);
}

std::uint32_t profileNumber(const SettingRow& row) {
    std::uint32_t value = row.byDefault.number;
    registry::GetProfileDWord(&value, row.section, row.valueName);
    return value;
}

} // namespace

void GetDriverDirectory(std::u16string& out) {
    directory(out, rows::driverDirectory);
}

void GetPlottersDirectory(std::u16string& out) {
    directory(out, rows::plottersDirectory);
}

void GetPlotStylesDirectory(std::u16string& out) {
    directory(out, rows::plotStylesDirectory);
}

void GetPMPDirectory(std::u16string& out) {
    directory(out, rows::pmpDirectory);
}

void GetPlotSpoolerDirectory(std::u16string& out) {
    directory(out, rows::plotSpoolerDirectory);
}

void GetHelpDirectory(std::u16string& out) {
    directory(out, rows::helpDirectory);
}

void GetLogFileDirectory(std::u16string& out) {
    directory(out, rows::logFileDirectory);
}

void GetSupportFileSearchPath(std::u16string& out) {
    profileString(out, rows::supportFileSearchPath);
}

void GetAutospoolCommandString(std::u16string& out) {
    profileString(out, rows::autospoolCommandString);
}

void GetDefaultLoginName(std::u16string& out) {
    profileString(out, rows::defaultLoginName);
}

void GetDefaultPlotToFile(std::u16string& out) {
    profileString(out, rows::defaultPlotToFile);
}

void GetDefaultPlotStyleTable(std::u16string& out) {
    profileString(out, rows::defaultPlotStyleTable);
}

std::uint32_t GetRasterThreshold() {
    return profileNumber(rows::rasterThreshold);
}

std::uint32_t GetRasterPercent() {
    return profileNumber(rows::rasterPercent);
}

std::uint32_t GetCurrentPlotStylePolicy() {
    return profileNumber(rows::currentPlotStylePolicy);
}

std::uint32_t GetHideSystemPrinters() {
    return profileNumber(rows::hideSystemPrinters);
}

bool IsR14RasterPlotSysVarSet() {
    const SettingRow& row = rows::r14RasterPlot;
    std::uint32_t value = 0;
    // A failed read may have written part of what it found: only the default counts then.
    if (registry::GetFixedProfileDWord(value, row.section, row.valueName) != 0)
        value = row.byDefault.number;
    return value == 1;
}

} // namespace tavlo::settings
