# kovactl end to end: the tests start the program as a user would; it runs
# its simulated twin for --sim.
add_dependencies(kova_tests kovactl kovactl-sim)
target_compile_definitions(kova_tests PRIVATE KOVACTL_PATH="$<TARGET_FILE:kovactl>")
target_sources(kova_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/kovactl_run.cpp)
