# The hardware kovactl links nothing of the simulator: it names registers
# through the register module, draws pictures through the picture module and
# runs kovactl-sim for --sim, --dry-run and the card commands.
add_test(NAME kovactl_links_no_simulator
  COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DPROGRAM=$<TARGET_FILE:kovactl> "-DNAMESPACE=kova::sim::"
    -P ${CMAKE_SOURCE_DIR}/cmake/KovaSymbolCheck.cmake)
