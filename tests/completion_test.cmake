# Bash completion of the three programs, checked against kovasim's register names.
find_program(KOVA_BASH bash)
if(KOVA_BASH)
  add_test(NAME bash_completion
    COMMAND ${CMAKE_COMMAND} -E env "KOVACTL=${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:kovactl>"
      ${KOVA_BASH} ${CMAKE_CURRENT_SOURCE_DIR}/completion/check_completion.sh
      ${CMAKE_SOURCE_DIR}/completion/kova.bash ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:kovasim>)
endif()
