# Installation and packages. Linux: the headers, libtavlo9.so with its SONAME, tavlo9Res.dll in
# the data directory (found there relative to the library's own directory, so a relocated
# installation keeps working), the tool with its manual page and bash completion, a CMake config
# package and a pkg-config file; CPack makes the Debian packages (DebianPackages.cmake). Windows:
# the folder a Windows developer expects (bin with the DLLs and tavlo.exe, lib with the import
# libraries and the .def file, include); CPack makes one zip of it.
#
# Every file belongs to one of three components, the Debian packages: lib (what a program
# using the library needs at run time), dev (what building one needs) and tool.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TAVLO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tavlo)

set_target_properties(tavlo9 PROPERTIES EXPORT_NAME tavlo)
target_include_directories(tavlo9 INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
                                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
add_library(tavlo::tavlo ALIAS tavlo9)

if(WIN32)
  set(TAVLO_RES_DESTINATION ${CMAKE_INSTALL_BINDIR})
  # A Microsoft-format name for the import library, next to MinGW's libtavlo9.dll.a, so that
  # either toolchain links against the DLL without renaming anything.
  find_program(TAVLO_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
  add_custom_command(TARGET tavlo9 POST_BUILD
    COMMAND ${TAVLO_DLLTOOL} -d ${CMAKE_BINARY_DIR}/tavlo9.def -D tavlo9.dll
            -l ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/tavlo9.lib
    VERBATIM)
  install(FILES ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/tavlo9.lib ${CMAKE_BINARY_DIR}/tavlo9.def
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
else()
  set_target_properties(tavlo9 PROPERTIES VERSION ${PROJECT_VERSION}
                                          SOVERSION ${PROJECT_VERSION_MAJOR})
  set(TAVLO_RES_DESTINATION ${CMAKE_INSTALL_DATADIR}/tavlo)
  # modules_posix.cpp finds it there relative to the library and the tool (src/CMakeLists.txt).
endif()

install(TARGETS tavlo9 EXPORT tavloTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(TARGETS tavlo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
get_target_property(TAVLO_RES_FILE tavlo9Res TAVLO_DLL_PATH)
install(FILES ${TAVLO_RES_FILE} DESTINATION ${TAVLO_RES_DESTINATION} COMPONENT lib)
install(DIRECTORY include/tavlo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
# The JSON Schema of "tavlo show --json", for scripts that check what they are given.
install(FILES tools/tavlo/show.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/tavlo
  COMPONENT tool)
if(NOT WIN32)
  include(cmake/Docs.cmake)
endif()

install(EXPORT tavloTargets NAMESPACE tavlo:: DESTINATION ${TAVLO_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/tavloConfig.cmake.in
  ${CMAKE_BINARY_DIR}/tavloConfig.cmake INSTALL_DESTINATION ${TAVLO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/tavloConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/tavloConfig.cmake ${CMAKE_BINARY_DIR}/tavloConfigVersion.cmake
  DESTINATION ${TAVLO_CMAKE_DIR} COMPONENT dev)

# pkg-config: paths relative to the .pc file's own prefix, so the file stays true wherever the
# tree is unpacked.
file(RELATIVE_PATH TAVLO_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(cmake/tavlo.pc.in ${CMAKE_BINARY_DIR}/tavlo.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/tavlo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)

set(CPACK_PACKAGE_NAME tavlo)
set(CPACK_PACKAGE_VENDOR "tavlo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  # One zip with everything: the components split only the Debian packages.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Registry and settings front end of the Veltrane plotting subsystem")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  include(cmake/DebianPackages.cmake)
endif()
include(CPack)
