// The well-known directories, the support file search path and the plot settings of the user's
// current profile, each with its default.
#pragma once

#include <cstdint>
#include <string>

namespace tavlo::settings {

std::u16string GetDriverDirectory();
std::u16string GetPlottersDirectory();
std::u16string GetPlotStylesDirectory();
std::u16string GetPMPDirectory();
std::u16string GetPlotSpoolerDirectory();
std::u16string GetHelpDirectory();
std::u16string GetLogFileDirectory();
std::u16string GetSupportFileSearchPath();

std::u16string GetAutospoolCommandString();
std::u16string GetDefaultLoginName();
std::u16string GetDefaultPlotToFile();
std::u16string GetDefaultPlotStyleTable();
std::uint32_t GetRasterThreshold();
std::uint32_t GetRasterPercent();
std::uint32_t GetCurrentPlotStylePolicy();
std::uint32_t GetHideSystemPrinters();
bool IsR14RasterPlotSysVarSet();

} // namespace tavlo::settings
