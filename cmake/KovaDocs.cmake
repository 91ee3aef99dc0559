# Man pages (man(7) sources with the version filled in) and bash completion.
set(KOVA_MAN_PAGES capview.1 kovasim.1 kovactl.1 kovaview.1 kova.3)
if(TARGET kovarun)
  list(APPEND KOVA_MAN_PAGES kovarun.1 kovatrace.1)
endif()
set(KOVA_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(KOVA_GENERATED_MAN_PAGES)
foreach(page IN LISTS KOVA_MAN_PAGES)
  configure_file(${CMAKE_SOURCE_DIR}/man/${page}.in ${KOVA_MAN_DIR}/${page} @ONLY)
  list(APPEND KOVA_GENERATED_MAN_PAGES ${KOVA_MAN_DIR}/${page})
  string(REGEX REPLACE "^.*\\." "" section ${page})
  install(FILES ${KOVA_MAN_DIR}/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()

# One completion file for the programs, installed under each name (bash
# loads a command's completion from the file of that name).
set(KOVA_COMPLETIONS capview kovasim kovactl kovaview)
if(TARGET kovarun)
  list(APPEND KOVA_COMPLETIONS kovarun kovatrace)
endif()
foreach(program IN LISTS KOVA_COMPLETIONS)
  install(FILES ${CMAKE_SOURCE_DIR}/completion/kova.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${program})
endforeach()
