// Win32 status codes and registry constants as the core sees them. Both backends speak these
// numbers so that the core's logic reads exactly like the Win32 calls it was designed around.
#pragma once

#include <cstdint>

namespace tavlo::platform {

using Status = std::uint32_t;

namespace status {
inline constexpr Status success = 0;
inline constexpr Status file_not_found = 2;
inline constexpr Status path_not_found = 3;
inline constexpr Status access_denied = 5;
inline constexpr Status invalid_handle = 6;
inline constexpr Status not_enough_memory = 8;
inline constexpr Status invalid_parameter = 87;
inline constexpr Status insufficient_buffer = 122;
inline constexpr Status mod_not_found = 126;
inline constexpr Status proc_not_found = 127;
inline constexpr Status bad_pathname = 161;
inline constexpr Status more_data = 234;
inline constexpr Status no_more_items = 259;
inline constexpr Status no_work_done = 235; // what FormatMessage reports for an empty result
} // namespace status

// Registry value types, by their Win32 numbers.
namespace regtype {
inline constexpr std::uint32_t none = 0;
inline constexpr std::uint32_t sz = 1;
inline constexpr std::uint32_t expand_sz = 2;
inline constexpr std::uint32_t binary = 3;
inline constexpr std::uint32_t dword = 4;
inline constexpr std::uint32_t dword_big_endian = 5;
inline constexpr std::uint32_t link = 6;
inline constexpr std::uint32_t multi_sz = 7;
inline constexpr std::uint32_t qword = 11;
} // namespace regtype

// The predefined roots, by their Win32 handle values.
enum class Root : std::uint32_t {
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
};

// File attribute bits, by their Win32 values.
namespace attr {
inline constexpr std::uint32_t readonly = 0x1;
inline constexpr std::uint32_t hidden = 0x2;
inline constexpr std::uint32_t system = 0x4;
inline constexpr std::uint32_t directory = 0x10;
inline constexpr std::uint32_t normal = 0x80;
inline constexpr std::uint32_t reparse_point = 0x400;
inline constexpr std::uint32_t offline = 0x1000;
} // namespace attr

} // namespace tavlo::platform
