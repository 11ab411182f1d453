// tavlo: the typed C++ interface. Strings are owned UTF-16 strings; failures are raised as the
// kinds of TAVLO_Exception, which are thrown and caught by value.
#pragma once

#include "tavlo/tavlo.h"

#include <cstdint>
#include <string>

// The record every raised error carries. It has no virtual operations and no destructor; its
// text fields point into library-wide strings that the next raised error overwrites, so copy
// them before calling the library again.
struct TAVLO_Exception {
    void* module;              // the library's instance handle
    std::uint32_t messageId;   // id of the message text in tavlo9Res.dll
    const char16_t* operation; // name of the operation that failed
    const char16_t* argument;  // the text shown for "%1": a registry path, or empty
    const char16_t* source;    // the source marker
};

// A registry key could not be opened (or the current profile's name could not be read).
struct TAVLO_Key_Error : TAVLO_Exception {};
// A registry value could not be read, or has another type than required.
struct TAVLO_Entry_Error : TAVLO_Exception {};
// The host application's registry key could not be determined.
struct TAVLO_AppKey_Error : TAVLO_Exception {};

// The typed operations. Strings are UTF-16 on every platform.

// The host's app key, or the empty string after reporting why there is none. name is not used.
TAVLO_API std::u16string GetAppKey(const char16_t* name);
// A machine-wide REG_SZ value below the app key; raises TAVLO_Key_Error or TAVLO_Entry_Error.
// size is only the first read's size: a longer value is read whole.
TAVLO_API TavloRetVal GetHKeyLocalMachineString(std::u16string& value, const char16_t* name,
                                                std::uint32_t size);
// A REG_SZ value of a section of the current profile; raises TAVLO_Key_Error or
// TAVLO_Entry_Error.
TAVLO_API TavloRetVal GetProfileStr(std::u16string& value, const char16_t* section,
                                    const char16_t* name, std::uint32_t size);
// A REG_DWORD value below the fixed profile: TAVLO_Success or TAVLO_Failure, never raises.
TAVLO_API TavloRetVal GetFixedProfileDWord(std::uint32_t& value, const char16_t* key,
                                           const char16_t* name);
// The current profile's key below HKEY_CURRENT_USER, or the empty string.
TAVLO_API std::u16string GetCurrentProfileKey();

// A directory kept in a profile value, or its default below the roamable root ("Plotters",
// "Plot Styles") or the application directory (any other sub-folder; empty: itself).
TAVLO_API TavloRetVal GetProfileDirectory(std::u16string& directory, const char16_t* section,
                                          const char16_t* name, const char16_t* subFolder);
// The same for a value that holds a file's pathname: its drive and folder.
TAVLO_API TavloRetVal GetProfileDirectoryFromPathname(std::u16string& directory,
                                                      const char16_t* section, const char16_t* name,
                                                      const char16_t* subFolder);

// The well-known directories (never ending in a backslash) and the support file search path.
TAVLO_API std::u16string GetDriverDirectory();
TAVLO_API std::u16string GetPlottersDirectory();
TAVLO_API std::u16string GetPlotStylesDirectory();
TAVLO_API std::u16string GetPMPDirectory();
TAVLO_API std::u16string GetPlotSpoolerDirectory();
TAVLO_API std::u16string GetHelpDirectory();
TAVLO_API std::u16string GetLogFileDirectory();
TAVLO_API std::u16string GetSupportFileSearchPath();

// Plot settings of the current profile, with their defaults when missing.
TAVLO_API std::u16string GetAutospoolCommandString();
TAVLO_API std::u16string GetDefaultLoginName();
TAVLO_API std::u16string GetDefaultPlotToFile();
TAVLO_API std::u16string GetDefaultPlotStyleTable();
TAVLO_API std::uint32_t GetRasterThreshold();        // default 20
TAVLO_API std::uint32_t GetRasterPercent();          // default 20
TAVLO_API std::uint32_t GetCurrentPlotStylePolicy(); // default 1; also "_GetCurrentPlotStylePolicy"
TAVLO_API std::uint32_t GetHideSystemPrinters();     // default 0; also "_GetHideSystemPrinters"
TAVLO_API bool IsR14RasterPlotSysVarSet();           // the fixed profile's "R14RasterPlot" is 1

// The host product's identity.
TAVLO_API std::u16string GetAppDirectory();
TAVLO_API std::u16string GetLanguage();
TAVLO_API std::u16string GetProductName();
TAVLO_API std::u16string GetProgramName();
TAVLO_API std::u16string GetCompanyName();
TAVLO_API std::u16string GetProductBaseName();

// Whether driverName is a registered back-door driver; notice receives its notice.
TAVLO_API bool IsBackDoorDriverAvailable(const char16_t* driverName, std::u16string& notice);
// name found below the application directory (true, pathname set), or name itself (false).
TAVLO_API bool FindHelpPathname(const char16_t* name, std::u16string& pathname);
