# kovatrace on file stand-ins for the memory and port devices: capview and
# kovactl as on the model, the confinement, the refusals.  The test programs
# are kovarun's.
if(TARGET kovatrace AND TARGET kovarun_forms)
  add_executable(kovatrace_tests kovatrace/trace_test.cpp program_run.cpp)
  target_include_directories(kovatrace_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tool/common)
  target_link_libraries(kovatrace_tests PRIVATE kova_tool_common kova_sim ${KOVA_GTEST})
  target_compile_definitions(kovatrace_tests PRIVATE KOVA_TEST_EMULATOR="" KOVARUN_PATH="$<TARGET_FILE:kovarun>"
    KOVATRACE_PATH="$<TARGET_FILE:kovatrace>" KOVASIM_PATH="$<TARGET_FILE:kovasim>"
    CAPVIEW_PATH="$<TARGET_FILE:capview>" KOVACTL_PATH="$<TARGET_FILE:kovactl>"
    FORMS_PATH="$<TARGET_FILE:kovarun_forms>")
  add_dependencies(kovatrace_tests kovatrace kovasim capview kovactl kovactl-sim kovarun_forms)
  gtest_discover_tests(kovatrace_tests DISCOVERY_MODE PRE_TEST PROPERTIES LABELS hardware-binary)
endif()
