# The hardware flavour's device gate, built without the simulated controller.
add_executable(device_gate_tests ${CMAKE_CURRENT_SOURCE_DIR}/hardware/device_gate.cpp)
target_include_directories(device_gate_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/lib)
target_link_libraries(device_gate_tests PRIVATE ${KOVA_GTEST})
gtest_discover_tests(device_gate_tests DISCOVERY_MODE PRE_TEST)
