// Showing help: the Windows Help engine with a jump macro of the library's own, and compiled
// HTML help through the help viewer automation server or, without it, the HTML Help control.
#pragma once

#include <cstdint>

namespace tavlo::help {

inline constexpr std::uint32_t kHelpForceFile = 9;   // HELP_FORCEFILE
inline constexpr std::uint32_t kHelpCommand = 0x102; // HELP_COMMAND

// Command 0 jumps to the topic id that data points to; any other command goes to Windows Help
// unchanged. False when the file can't be resolved or the last Windows Help call failed.
bool DoHelp(void* window, const char16_t* file, std::uintptr_t data, std::uint32_t command);
// Command 0 shows the topic (an .htm page inside the file), 2 ends the help viewer
// connection, anything else shows the file. file null: the host's default help file.
bool DoHtmlHelp(const char16_t* file, const char16_t* topic, std::int32_t command);

// The HTML Help control's HtmlHelpW, loaded on first use and kept for the process.
void* CallHtmlHelp(void* window, const char16_t* target, std::uint32_t command,
                   std::uintptr_t data);

} // namespace tavlo::help
