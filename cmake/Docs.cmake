# The tool's manual page and bash completion, made at build time from the table its help prints
# (tools/tavlo/help_table.cpp) by a small program of the build host's, so neither can drift from
# "tavlo help". Linux only: the Windows zip has the help the tool prints.
add_executable(tavlo_doc tools/tavlo-doc/main.cpp tools/tavlo-doc/man_page.cpp
  tools/tavlo-doc/completion.cpp tools/tavlo/help_table.cpp)
set_target_properties(tavlo_doc PROPERTIES OUTPUT_NAME tavlo-doc)

# The page's date, as SOURCE_DATE_EPOCH gives it when set, so that a package build repeats.
string(TIMESTAMP TAVLO_DOC_DATE "%Y-%m-%d" UTC)
set(TAVLO_DOC_DIR ${CMAKE_BINARY_DIR}/doc)
set(TAVLO_MAN_PAGE ${TAVLO_DOC_DIR}/tavlo.1)
set(TAVLO_COMPLETION ${TAVLO_DOC_DIR}/bash-completion/tavlo)
set(TAVLO_COMPLETION_TEMPLATE ${CMAKE_SOURCE_DIR}/tools/tavlo-doc/tavlo.bash.in)
add_custom_command(OUTPUT ${TAVLO_MAN_PAGE} ${TAVLO_MAN_PAGE}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVLO_DOC_DIR}
  COMMAND tavlo_doc man ${PROJECT_VERSION} ${TAVLO_DOC_DATE} ${TAVLO_MAN_PAGE}
  # -n: no name or time stamp in the archive, as Debian wants its pages
  COMMAND gzip -9nf -k ${TAVLO_MAN_PAGE}
  DEPENDS tavlo_doc VERBATIM)
add_custom_command(OUTPUT ${TAVLO_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TAVLO_DOC_DIR}/bash-completion
  COMMAND tavlo_doc bash-completion ${TAVLO_COMPLETION_TEMPLATE} ${TAVLO_COMPLETION}
  DEPENDS tavlo_doc ${TAVLO_COMPLETION_TEMPLATE} VERBATIM)
add_custom_target(tavlo_docs ALL DEPENDS ${TAVLO_MAN_PAGE} ${TAVLO_COMPLETION})

install(FILES ${TAVLO_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
# Where bash-completion looks for a command's completion when it is first completed
# (pkg-config bash-completion's completionsdir: share/bash-completion/completions).
install(FILES ${TAVLO_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  COMPONENT tool)
