# A resource-only PE module. Both builds use the same file: Windows loads it with the loader,
# the Linux build reads its string tables directly.
find_program(TAVLO_WINDRES NAMES x86_64-w64-mingw32-windres REQUIRED)
find_program(TAVLO_MINGW_CC NAMES x86_64-w64-mingw32-gcc REQUIRED)

function(tavlo_add_resource_dll name rc_file)
  cmake_parse_arguments(ARG "" "OUTPUT_DIRECTORY" "" ${ARGN})
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  endif()
  set(obj ${CMAKE_CURRENT_BINARY_DIR}/${name}.res.o)
  set(dll ${ARG_OUTPUT_DIRECTORY}/${name}.dll)
  get_filename_component(rc_dir ${rc_file} DIRECTORY)
  add_custom_command(
    OUTPUT ${dll}
    COMMAND ${TAVLO_WINDRES} --codepage=65001 -I ${rc_dir} -i ${rc_file} -o ${obj}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_OUTPUT_DIRECTORY}
    COMMAND ${TAVLO_MINGW_CC} -shared -nostartfiles -s -o ${dll} ${obj}
    DEPENDS ${rc_file}
    COMMENT "Building resource module ${name}.dll"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${dll})
  set_property(TARGET ${name} PROPERTY TAVLO_DLL_PATH ${dll})
endfunction()
