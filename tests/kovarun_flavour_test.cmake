# The hardware programs on every change: the end-to-end suites run a second
# time with KOVA_TEST_FLAVOUR=hardware, where each run of kovasim or of
# kovactl --sim also runs the hardware capview or kovactl under kovarun and
# checks that both give the same output, exit status, trace and registers.
# KOVA_TEST_RUNNER names a kovarun from another build (an i386 build runs its
# hardware programs under the native kovarun); by default this build's own.
set(KOVA_TEST_RUNNER "" CACHE FILEPATH "kovarun for the hardware-binary tests (default: this build's)")
set(kova_runner "${KOVA_TEST_RUNNER}")
if(NOT kova_runner AND TARGET kovarun)
  set(kova_runner $<TARGET_FILE:kovarun>)
  add_dependencies(kova_tests kovarun)
endif()
target_compile_definitions(kova_tests PRIVATE KOVARUN_PATH="${kova_runner}" CAPVIEW_PATH="$<TARGET_FILE:capview>")
add_dependencies(kova_tests capview)
if(kova_runner)
  # The suites that start capview or kovactl as a user would.
  set(kova_hardware_suites Capview.* Diagnostics.* ExpectedTrace.ProgramRunsDecodeWithoutLoss KovasimOptions.*
    TwoProcessRecovery.* PinnedCapview.* VideoKovasim.* KovactlStatus.* KovactlUsage.* KovactlGrab.* KovactlLock.*
    KovactlOwner.* KovactlRegisters.* Commands/KovactlCommand.* HardwareBinary.*)
  list(JOIN kova_hardware_suites ":" kova_hardware_filter)
  gtest_discover_tests(kova_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "hardware:" TEST_FILTER ${kova_hardware_filter}
    PROPERTIES ENVIRONMENT KOVA_TEST_FLAVOUR=hardware LABELS hardware-binary)
else()
  message(STATUS "kovarun not built: the hardware-binary tests are skipped")
endif()

# A plain C program built with the toolchain's default flags against the
# installed libkova.a runs under kovarun: it maps the controller and reads
# the chip's identity and the screen mode from the simulated controller.
if(kova_runner)
  add_test(NAME c_link_installed_under_kovarun
    COMMAND ${CMAKE_COMMAND} -DCC=${CMAKE_C_COMPILER} "-DCFLAGS=${CMAKE_C_FLAGS}"
      -DSOURCE=${CMAKE_SOURCE_DIR}/examples/consumer/chipinfo.c -DPREFIX=${kova_link_root} -DLIBDIR=${CMAKE_INSTALL_LIBDIR}
      -DOBJECTDIR=${KOVA_INSTALL_OBJECTDIR} -DINCLUDEDIR=${KOVA_INSTALL_INCLUDEDIR} -DMODE=library
      -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/c_link_under_kovarun -DRUNNER=${kova_runner}
      -DTRACE=${CMAKE_CURRENT_BINARY_DIR}/c_link_under_kovarun.trace
      "-DMATCH=^kova ${PROJECT_VERSION}: chip [0-9]+, 1024x768 at 16 bits per pixel, [0-9]+ MiB of video memory\n$"
      -P ${CMAKE_SOURCE_DIR}/cmake/KovaLinkCheck.cmake)
  set_tests_properties(c_link_installed_under_kovarun PROPERTIES FIXTURES_REQUIRED kova_installed LABELS hardware-binary)
endif()
