# kovasim end to end: the tests start the kovasim program (through the
# emulator when the build targets another machine).
add_dependencies(kova_tests kovasim)
set(kova_emulator "")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 kova_emulator)
endif()
target_compile_definitions(kova_tests PRIVATE KOVASIM_PATH="$<TARGET_FILE:kovasim>"
  KOVA_TEST_EMULATOR="${kova_emulator}")
# capview's program logic, for the tests that drive the sequences in-process.
target_sources(kova_tests PRIVATE $<TARGET_OBJECTS:capview_logic>)
target_include_directories(kova_tests PRIVATE ${CMAKE_SOURCE_DIR}/tool)
target_sources(kova_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/kovasim_run.cpp ${CMAKE_CURRENT_SOURCE_DIR}/program_run.cpp)
