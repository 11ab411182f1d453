# A resource-only PE module. Both builds use the same file: Windows loads it with the loader,
# the Linux build reads its string tables directly.
find_program(TAVLO_WINDRES NAMES x86_64-w64-mingw32-windres REQUIRED)
find_program(TAVLO_MINGW_CC NAMES x86_64-w64-mingw32-gcc REQUIRED)

# tavlo_add_resource_dll(name rc_file [OUTPUT_DIRECTORY dir] [MORE_RC rc_file...]): the MORE_RC
# scripts (the version resource) are compiled each on its own and linked in beside rc_file's.
function(tavlo_add_resource_dll name rc_file)
  cmake_parse_arguments(ARG "" "OUTPUT_DIRECTORY" "MORE_RC" ${ARGN})
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  endif()
  set(dll ${ARG_OUTPUT_DIRECTORY}/${name}.dll)
  set(objects "")
  set(commands "")
  set(index 0)
  foreach(rc ${rc_file} ${ARG_MORE_RC})
    set(obj ${CMAKE_CURRENT_BINARY_DIR}/${name}.res${index}.o)
    get_filename_component(rc_dir ${rc} DIRECTORY)
    list(APPEND commands
      COMMAND ${TAVLO_WINDRES} --codepage=65001 -I ${rc_dir} -i ${rc} -o ${obj})
    list(APPEND objects ${obj})
    math(EXPR index "${index} + 1")
  endforeach()
  add_custom_command(
    OUTPUT ${dll}
    ${commands}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_OUTPUT_DIRECTORY}
    COMMAND ${TAVLO_MINGW_CC} -shared -nostartfiles -s -o ${dll} ${objects}
    DEPENDS ${rc_file} ${ARG_MORE_RC}
    COMMENT "Building resource module ${name}.dll"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${dll})
  set_property(TARGET ${name} PROPERTY TAVLO_DLL_PATH ${dll})
endfunction()
