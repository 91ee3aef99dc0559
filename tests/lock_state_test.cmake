# The lock-state record: kova_tool_common reads and writes the library's
# globals, so the simulated flavour follows it on the link line.
target_link_libraries(kova_tests PRIVATE kova_tool_common kova_sim)
