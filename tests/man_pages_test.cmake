# The man pages render without a single groff warning.
find_program(KOVA_MAN man)
if(KOVA_MAN)
  foreach(page IN LISTS KOVA_GENERATED_MAN_PAGES)
    get_filename_component(name ${page} NAME)
    add_test(NAME man_page_${name}
      COMMAND sh -c "out=$(MANWIDTH=80 '${KOVA_MAN}' --warnings -E UTF-8 -l \"$1\" 2>&1 >/dev/null) && test -z \"$out\" || { echo \"$out\"; exit 1; }" sh ${page})
  endforeach()
else()
  message(STATUS "man not found: man-page lint skipped (install man-db)")
endif()

# kovactl's man page names the commands of its command table, and no others.
find_program(KOVA_BASH bash)
if(KOVA_BASH)
  add_test(NAME man_page_kovactl_commands
    COMMAND ${KOVA_BASH} ${CMAKE_CURRENT_SOURCE_DIR}/man/check_commands.sh ${KOVA_MAN_DIR}/kovactl.1
      ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:kovactl>)
endif()

# The runners' man pages name every option of their option tables.
if(KOVA_BASH)
  foreach(program IN ITEMS kovasim kovarun kovatrace)
    if(TARGET ${program})
      add_test(NAME man_page_${program}_options
        COMMAND ${KOVA_BASH} ${CMAKE_CURRENT_SOURCE_DIR}/man/check_options.sh ${KOVA_MAN_DIR}/${program}.1
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${program}>)
    endif()
  endforeach()
endif()
