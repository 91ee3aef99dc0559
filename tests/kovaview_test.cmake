# kovaview end to end: headless against kovasim, and its window under Xvfb
# where the build has windows.
add_dependencies(kova_tests kovaview)
if(KOVA_SDL2_LINKS)
  set(kovaview_window 1)
else()
  set(kovaview_window 0)
endif()
target_compile_definitions(kova_tests PRIVATE KOVAVIEW_PATH="$<TARGET_FILE:kovaview>"
  KOVAVIEW_WINDOW=${kovaview_window})
