# The tool's two header-only libraries: CLI11 for its options and sub-commands, nlohmann-json for
# its --json output (Debian: libcli11-dev, nlohmann-json3-dev). Both are imported targets, so their
# headers are system headers to the compiler (no warnings of theirs under -Werror), and only the
# tool links them: the library depends on nothing but the standard library and Win32.
#
# The Linux build takes the packages' own CMake config files. The Windows build must not search
# the host's /usr/include, where a host header would shadow mingw's, so it copies just the two
# header trees into the build tree at configure time and gives the tool that folder alone. Set
# TAVLO_CLI11_INCLUDE_DIR or TAVLO_JSON_INCLUDE_DIR to take the headers from elsewhere.

if(NOT WIN32)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json CONFIG REQUIRED)
  return()
endif()

find_path(TAVLO_CLI11_INCLUDE_DIR CLI/CLI.hpp PATHS /usr/include NO_DEFAULT_PATH
  NO_CMAKE_FIND_ROOT_PATH DOC "The folder holding CLI/CLI.hpp (Debian: libcli11-dev)")
find_path(TAVLO_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH
  NO_CMAKE_FIND_ROOT_PATH DOC "The folder holding nlohmann/json.hpp (Debian: nlohmann-json3-dev)")
if(NOT TAVLO_CLI11_INCLUDE_DIR OR NOT TAVLO_JSON_INCLUDE_DIR)
  message(FATAL_ERROR "The tool needs the CLI11 and nlohmann-json headers: install libcli11-dev "
    "and nlohmann-json3-dev (scripts/setup-debian.sh), or set TAVLO_CLI11_INCLUDE_DIR and "
    "TAVLO_JSON_INCLUDE_DIR")
endif()

# Each into a folder of its own, so that each target gives exactly its own headers.
function(tavlo_copy_headers target from tree)
  set(to ${CMAKE_BINARY_DIR}/tool-include/${tree})
  file(COPY ${from}/${tree} DESTINATION ${to})
  # A header the package changes is copied again on the next build.
  file(GLOB_RECURSE headers ${from}/${tree}/*)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${headers})
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${to})
endfunction()
tavlo_copy_headers(CLI11::CLI11 ${TAVLO_CLI11_INCLUDE_DIR} CLI)
tavlo_copy_headers(nlohmann_json::nlohmann_json ${TAVLO_JSON_INCLUDE_DIR} nlohmann)
