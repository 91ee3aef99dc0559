# The hardware kovactl links nothing of the simulator: it names registers
# through the register module and runs kovactl-sim for --sim, --dry-run and
# the card commands.  The picture code is allowed while it still lives in the
# video model's directory (kova_picture), until it has a module of its own.
add_test(NAME kovactl_links_no_simulator
  COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DPROGRAM=$<TARGET_FILE:kovactl> "-DNAMESPACE=kova::sim::"
    "-DALLOW=kova::sim::video::" -P ${CMAKE_SOURCE_DIR}/cmake/KovaSymbolCheck.cmake)
