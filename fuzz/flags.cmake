# Compiler flags of a fuzzing build: every target of the tree is instrumented
# for libFuzzer's coverage feedback and built with AddressSanitizer and
# UndefinedBehaviorSanitizer, so that the library and the simulated
# controller the fuzz targets drive are checked as closely as the targets.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "KOVA_FUZZ needs clang (CC=clang CXX=clang++): libFuzzer ships with it")
endif()
set(KOVA_FUZZ_SANITIZERS address,undefined)
add_compile_options(-fsanitize=fuzzer-no-link,${KOVA_FUZZ_SANITIZERS} -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=${KOVA_FUZZ_SANITIZERS})
