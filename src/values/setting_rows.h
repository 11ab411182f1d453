// What each named setting is read from and what it gives when that can't be read: one constant
// row per setting, the only place its value names and default are spelled. The getters read
// through their rows, and the tool explains its answers from the same rows.
//
// The rows live here rather than with the settings because the host's identity (its directory,
// language and product name) is read through rows too, and that layer lies below the settings.
#pragma once

#include <cstdint>

namespace tavlo::registry {

// Where the value lies.
enum class Store : std::uint8_t {
    Profile,      // a section of the current profile
    FixedProfile, // a key below <app key>\FixedProfile, shared by every profile
    Machine,      // HKEY_LOCAL_MACHINE\<app key> itself
    AppKeyName,   // nothing is read: the answer is a part of the app key's own name
};

// What the value holds and how the answer is made of it.
enum class Shape : std::uint8_t {
    Text,      // a string, as stored
    Directory, // a string, without its trailing backslashes
    Pathname,  // a file's pathname, of which the answer is the drive and folder
    Number,    // a number, as stored
    Flag,      // a number, set when it is 1
    KeyPart,   // a component of the app key
};

// Which value name is read, by host.
enum class HostRule : std::uint8_t {
    Any,      // one name, read whatever the host, found or not
    Found,    // one name, read only once the host is known
    ByFamily, // the Corvida product's name, or every other host's; only once the host is known
};

// What a value that can't be read gives.
struct Default {
    enum class Kind : std::uint8_t {
        None,              // nothing: the answer is empty, and the failure may be reported
        Empty,             // the empty string, silently
        Number,            // number
        BelowAppDir,       // folder below the application directory (empty: the directory itself)
        BelowRoamableRoot, // folder below the user's roamable root folder
    } kind = Kind::None;
    std::uint32_t number = 0;
    const char16_t* folder = u"";
};

struct SettingRow {
    const char* name; // as the tool names it
    Store store;
    Shape shape;
    const char16_t* section; // the profile's section or the fixed profile's key; null otherwise
    HostRule host;
    const char16_t* koraName;  // the Corvida product's value name (ByFamily only)
    const char16_t* valueName; // every other host's, or every host's; null: none is read
    std::uint32_t room;        // characters the string is first read into
    Default byDefault;

    // The value name read for a host that is (or isn't) the Corvida product.
    constexpr const char16_t* nameFor(bool kora) const {
        return host == HostRule::ByFamily && kora ? koraName : valueName;
    }
};

// The value below HKEY_CURRENT_USER\<app key> naming the folder that roams with the user.
inline constexpr const char16_t* kRoamableRootValue = u"RoamableRootFolder";

namespace rows {

using K = Default::Kind;

constexpr Default kNone{};
constexpr Default kEmpty{K::Empty};
constexpr Default number(std::uint32_t value) {
    return {K::Number, value};
}
constexpr Default belowAppDir(const char16_t* folder) {
    return {K::BelowAppDir, 0, folder};
}
constexpr Default belowRoamableRoot(const char16_t* folder) {
    return {K::BelowRoamableRoot, 0, folder};
}

// clang-format off
inline constexpr SettingRow appDirectory{"app-directory",
    Store::Machine, Shape::Directory, nullptr, HostRule::ByFamily,
    u"KoraLocation", u"Location", 260, kNone};
inline constexpr SettingRow language{"language",
    Store::Machine, Shape::Text, nullptr, HostRule::Any,
    nullptr, u"Language", 512, kNone};
inline constexpr SettingRow productName{"product-name",
    Store::Machine, Shape::Text, nullptr, HostRule::Any,
    nullptr, u"ProductName", 512, kNone};
inline constexpr SettingRow programName{"program-name",
    Store::AppKeyName, Shape::KeyPart, nullptr, HostRule::Any,
    nullptr, nullptr, 0, kEmpty};
inline constexpr SettingRow companyName{"company-name",
    Store::AppKeyName, Shape::KeyPart, nullptr, HostRule::Any,
    nullptr, nullptr, 0, kEmpty};
inline constexpr SettingRow productBaseName{"product-base-name",
    Store::AppKeyName, Shape::KeyPart, nullptr, HostRule::Any,
    nullptr, nullptr, 0, kEmpty};

inline constexpr SettingRow driverDirectory{"driver-directory",
    Store::Profile, Shape::Directory, u"General", HostRule::ByFamily,
    u"KORADRV", u"DRIVER", 260, belowAppDir(u"Drv")};
inline constexpr SettingRow plottersDirectory{"plotters-directory",
    Store::Profile, Shape::Directory, u"General", HostRule::Any,
    nullptr, u"PrinterConfigDir", 260, belowRoamableRoot(u"Plotters")};
inline constexpr SettingRow plotStylesDirectory{"plot-styles-directory",
    Store::Profile, Shape::Directory, u"General", HostRule::Any,
    nullptr, u"PrinterStyleSheetDir", 260, belowRoamableRoot(u"Plot Styles")};
inline constexpr SettingRow pmpDirectory{"pmp-directory",
    Store::Profile, Shape::Directory, u"General", HostRule::Any,
    nullptr, u"PrinterDescDir", 260, belowRoamableRoot(u"Plotters")};
inline constexpr SettingRow plotSpoolerDirectory{"plot-spooler-directory",
    Store::Profile, Shape::Directory, u"General Configuration", HostRule::Any,
    nullptr, u"PlotSpoolerDirectory", 260, belowAppDir(u"")};
inline constexpr SettingRow helpDirectory{"help-directory",
    Store::Profile, Shape::Pathname, u"General", HostRule::ByFamily,
    u"KORAHELP", u"HELP", 260, belowAppDir(u"Help")};
inline constexpr SettingRow logFileDirectory{"log-file-directory",
    Store::Profile, Shape::Directory, u"Editor Configuration", HostRule::Found,
    nullptr, u"LogFilePath", 260, belowAppDir(u"")};
inline constexpr SettingRow supportFileSearchPath{"support-file-search-path",
    Store::Profile, Shape::Text, u"General", HostRule::ByFamily,
    u"KORA", u"Support", 512, kEmpty};
inline constexpr SettingRow autospoolCommandString{"autospool-command-string",
    Store::Profile, Shape::Text, u"General", HostRule::ByFamily,
    u"KORAPLCMD", u"PLOTCOMMAND", 512, kEmpty};
inline constexpr SettingRow defaultLoginName{"default-login-name",
    Store::Profile, Shape::Text, u"General Configuration", HostRule::Any,
    nullptr, u"DefaultLoginName", 512, kEmpty};
inline constexpr SettingRow defaultPlotToFile{"default-plot-to-file",
    Store::Profile, Shape::Text, u"General Configuration", HostRule::Any,
    nullptr, u"DefaultPlotToFile", 512, kEmpty};
inline constexpr SettingRow defaultPlotStyleTable{"default-plot-style-table",
    Store::Profile, Shape::Text, u"General", HostRule::Any,
    nullptr, u"NewStyleSheet", 260, kEmpty};
inline constexpr SettingRow rasterThreshold{"raster-threshold",
    Store::Profile, Shape::Number, u"General", HostRule::Any,
    nullptr, u"RASTERTHRESHOLD", 0, number(20)};
inline constexpr SettingRow rasterPercent{"raster-percent",
    Store::Profile, Shape::Number, u"General", HostRule::Any,
    nullptr, u"RASTERPERCENT", 0, number(20)};
inline constexpr SettingRow currentPlotStylePolicy{"current-plot-style-policy",
    Store::Profile, Shape::Number, u"General", HostRule::Any,
    nullptr, u"PSTYLEPOLICY", 0, number(1)};
inline constexpr SettingRow hideSystemPrinters{"hide-system-printers",
    Store::Profile, Shape::Number, u"General", HostRule::Any,
    nullptr, u"HideSystemPrinters", 0, number(0)};
inline constexpr SettingRow r14RasterPlot{"r14-raster-plot",
    Store::FixedProfile, Shape::Flag, u"General Configuration", HostRule::Any,
    nullptr, u"R14RasterPlot", 0, number(0)};
// clang-format on

} // namespace rows

} // namespace tavlo::registry
