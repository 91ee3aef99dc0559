# kovarun's own tests: a test program with every instruction form the library
# emits (x86-64, and i386 where the compiler builds it), the refusals, the
# hardware capview beside kovasim, and a program whose opens must come out as
# they do without kovarun.  Each runs a hardware-flavour program.
if(TARGET kovarun)
  add_executable(kovarun_forms kovarun/forms.c)
  target_compile_definitions(kovarun_forms PRIVATE _GNU_SOURCE)
  add_executable(kovarun_opens kovarun/opens.c)
  target_compile_definitions(kovarun_opens PRIVATE _GNU_SOURCE)
  set(kovarun_forms32 "")
  include(CheckCSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS -m32)
  set(CMAKE_REQUIRED_LINK_OPTIONS -m32)
  check_c_source_compiles("#include <stdio.h>\nint main(void) { return puts(\"\"); }" KOVA_HAVE_M32)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
  if(KOVA_HAVE_M32)
    add_executable(kovarun_forms32 kovarun/forms.c)
    target_compile_definitions(kovarun_forms32 PRIVATE _GNU_SOURCE)
    target_compile_options(kovarun_forms32 PRIVATE -m32)
    target_link_options(kovarun_forms32 PRIVATE -m32)
    set(kovarun_forms32 $<TARGET_FILE:kovarun_forms32>)
  else()
    message(STATUS "The i386 instruction-form test program not built: the compiler cannot build -m32 programs "
      "(install g++-multilib)")
  endif()
  add_executable(kovarun_tests kovarun/runner_test.cpp program_run.cpp)
  target_include_directories(kovarun_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(kovarun_tests PRIVATE kova_tool_common kova_sim ${KOVA_GTEST})
  target_compile_definitions(kovarun_tests PRIVATE KOVA_TEST_EMULATOR="" KOVARUN_PATH="$<TARGET_FILE:kovarun>"
    KOVASIM_PATH="$<TARGET_FILE:kovasim>" CAPVIEW_PATH="$<TARGET_FILE:capview>"
    FORMS_PATH="$<TARGET_FILE:kovarun_forms>" FORMS32_PATH="${kovarun_forms32}"
    OPENS_PATH="$<TARGET_FILE:kovarun_opens>")
  add_dependencies(kovarun_tests kovarun kovasim capview kovarun_forms kovarun_opens)
  if(KOVA_HAVE_M32)
    add_dependencies(kovarun_tests kovarun_forms32)
  endif()
  gtest_discover_tests(kovarun_tests DISCOVERY_MODE PRE_TEST PROPERTIES LABELS hardware-binary)
endif()
