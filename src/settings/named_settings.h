// The well-known directories, the support file search path and the plot settings of the user's
// current profile, each with its default.
#pragma once

#include <cstdint>
#include <string>

namespace tavlo::settings {

// Each writes its answer into out, replacing all that out held, so that a caller that keeps one
// string keeps its storage (frame::written gives the answer as a value).
void GetDriverDirectory(std::u16string& out);
void GetPlottersDirectory(std::u16string& out);
void GetPlotStylesDirectory(std::u16string& out);
void GetPMPDirectory(std::u16string& out);
void GetPlotSpoolerDirectory(std::u16string& out);
void GetHelpDirectory(std::u16string& out);
void GetLogFileDirectory(std::u16string& out);
void GetSupportFileSearchPath(std::u16string& out);
void GetAutospoolCommandString(std::u16string& out);
void GetDefaultLoginName(std::u16string& out);
void GetDefaultPlotToFile(std::u16string& out);
void GetDefaultPlotStyleTable(std::u16string& out);

std::uint32_t GetRasterThreshold();
std::uint32_t GetRasterPercent();
std::uint32_t GetCurrentPlotStylePolicy();
std::uint32_t GetHideSystemPrinters();
bool IsR14RasterPlotSysVarSet();

} // namespace tavlo::settings
