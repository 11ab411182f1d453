# Version resources: one template (res/version.rc.in) configured for each Windows binary with the
# project's version, the file's name and what it is.
#
# tavlo_version_rc(OUT_VAR FILE name TYPE VFT_DLL|VFT_APP
#                  DESCRIPTION text | TEXTS langid text [langid text...])
# writes <build>/version/<name>.rc and names it in OUT_VAR.
#
# Which language the version resource claims: a binary whose resources are in no language of
# their own (the library, the tool) says so, with the language-neutral Translation 0x0000 and
# the one string block "000004b0". The resource module is the exception: its message tables are
# US English and German (LANG_GERMAN, SUBLANG_NEUTRAL), so its version resource lists exactly
# those two languages, each with a string block of its own (TEXTS), the fallback language first,
# as the loader and every reader of a Translation list take the first entry for the file's own.
# All blocks are Unicode (code page 1200).
function(tavlo_version_rc out_var)
  cmake_parse_arguments(ARG "" "FILE;TYPE;DESCRIPTION" "TEXTS" ${ARGN})
  if(ARG_DESCRIPTION)
    set(ARG_TEXTS 0000 "${ARG_DESCRIPTION}")
  endif()
  list(LENGTH ARG_TEXTS count)
  math(EXPR odd "${count} % 2")
  if(count EQUAL 0 OR odd)
    message(FATAL_ERROR "tavlo_version_rc(${ARG_FILE}): DESCRIPTION or TEXTS langid text pairs")
  endif()
  set(TAVLO_VI_STRING_BLOCKS "")
  set(translations "")
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR next "${i} + 1")
    list(GET ARG_TEXTS ${i} language)
    list(GET ARG_TEXTS ${next} text)
    string(TOLOWER "${language}" language)
    string(APPEND TAVLO_VI_STRING_BLOCKS
      "        BLOCK \"${language}04b0\"\n        BEGIN\n"
      "            TAVLO_VERSION_STRINGS(\"${text}\")\n        END\n")
    list(APPEND translations "0x${language}, 1200")
  endforeach()
  string(JOIN ", " TAVLO_VI_TRANSLATIONS ${translations})

  set(tweak ${PROJECT_VERSION_TWEAK})
  if(NOT tweak)
    set(tweak 0)
  endif()
  set(TAVLO_VI_NUMBERS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${tweak}")
  set(TAVLO_VI_FILE ${ARG_FILE})
  set(TAVLO_VI_FILE_TYPE ${ARG_TYPE})
  get_filename_component(TAVLO_VI_INTERNAL_NAME ${ARG_FILE} NAME_WE)
  set(rc ${CMAKE_BINARY_DIR}/version/${ARG_FILE}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/res/version.rc.in ${rc} @ONLY)
  set(${out_var} ${rc} PARENT_SCOPE)
endfunction()

# tavlo_add_version_resource(target FILE name TYPE type DESCRIPTION text): links the version
# resource into a target of the Windows build. windres is called directly, as for the resource
# module, so that no C or C++ compile option ever reaches it.
function(tavlo_add_version_resource target)
  tavlo_version_rc(rc ${ARGN})
  set(obj ${rc}.o)
  add_custom_command(OUTPUT ${obj}
    COMMAND ${TAVLO_WINDRES} -i ${rc} -o ${obj}
    DEPENDS ${rc}
    COMMENT "Compiling the version resource of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${obj})
endfunction()
