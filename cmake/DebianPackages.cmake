# The Debian packages, one per install component, named and split as Debian names and splits a
# library's packages: libtavlo9-0 (the SONAME's package: the library and its message module),
# libtavlo-dev (what building against it takes) and tavlo (the tool). Each carries its copyright
# and changelog in /usr/share/doc/<package>, as Debian policy asks of every package.
set(TAVLO_DEBIAN_DIR ${CMAKE_SOURCE_DIR}/packaging/debian)
# The Debian revision: the packaging's own version, counted again from 1 for each release.
set(TAVLO_DEBIAN_REVISION 1)
set(TAVLO_DEBIAN_VERSION ${PROJECT_VERSION}-${TAVLO_DEBIAN_REVISION})

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TAVLO_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE tavlo)
set(TAVLO_MAINTAINER "tavlo developers <maintainers@tavlo.example>" CACHE STRING
  "Maintainer of the Debian packages: name <address>")
set(CPACK_PACKAGE_CONTACT "${TAVLO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVLO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# libtavlo-dev and tavlo depend on exactly this version of libtavlo9-0: the headers describe
# this build's exports, and the tool carries its own copy of the library's code, which reads
# this version's message module.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEV_DEPENDS lib)
set(CPACK_COMPONENT_TOOL_DEPENDS lib)

# Each package's description: its own synopsis, what tavlo is, then what the package holds.
# (No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it before each as a second synopsis.)
set(TAVLO_DEBIAN_ABOUT
  "tavlo answers, for the host product running now, where the settings of the\nVeltrane plotting subsystem live and what they say, reading a Wine prefix's\nregistry files.\n\n")
set(CPACK_DEBIAN_LIB_PACKAGE_NAME libtavlo9-0)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_DESCRIPTION
  "registry and settings front end of the Veltrane plotting subsystem\n${TAVLO_DEBIAN_ABOUT}This package holds the shared library libtavlo9.so.0 and its message module.")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtavlo-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "registry and settings front end for Veltrane plotting - development files\n${TAVLO_DEBIAN_ABOUT}This package holds the C and C++ headers, the libtavlo9.so link and the CMake\nand pkg-config files to build programs against the library.")
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME tavlo)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION
  "show what the Veltrane plotting subsystem's settings resolve to\n${TAVLO_DEBIAN_ABOUT}This package holds the tavlo command, which shows what the library resolves\nand where each answer came from, with its manual page and bash completion.")

# The library's package tells the system's linker cache of it by the ldconfig trigger (dpkg
# takes control files by their own names: the triggers file must be called so).
configure_file(${TAVLO_DEBIAN_DIR}/libtavlo9-0.triggers ${CMAKE_BINARY_DIR}/debian/lib/triggers
  COPYONLY)
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/lib/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each package's copyright and changelog, the changelog compressed as Debian policy wants it
# (-9, without a name or time stamp inside).
set(TAVLO_DEBIAN_CHANGELOG ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
add_custom_command(OUTPUT ${TAVLO_DEBIAN_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian
  COMMAND gzip -9n -c ${TAVLO_DEBIAN_DIR}/changelog > ${TAVLO_DEBIAN_CHANGELOG}
  DEPENDS ${TAVLO_DEBIAN_DIR}/changelog)
add_custom_target(tavlo_debian_changelog ALL DEPENDS ${TAVLO_DEBIAN_CHANGELOG})
foreach(component lib dev tool)
  string(TOUPPER ${component} upper)
  set(docs ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${TAVLO_DEBIAN_DIR}/copyright ${TAVLO_DEBIAN_CHANGELOG} DESTINATION ${docs}
    COMPONENT ${component})
  set(overrides ${TAVLO_DEBIAN_DIR}/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}.lintian-overrides)
  if(EXISTS ${overrides})
    install(FILES ${overrides} DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
      RENAME ${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
  endif()
endforeach()
