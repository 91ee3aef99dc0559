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
