# The programs' shared code (register-owner lock, ...) in the test binary.
target_link_libraries(kova_tests PRIVATE kova_tool_common)
