# The installed tree as a user gets it: C programs built with the toolchain's
# default flags (and with -no-pie) link against the installed libkova.a, and
# against the installed object modules with misc.o, and run.
set(kova_link_root ${CMAKE_BINARY_DIR}/link-test-root)
add_test(NAME install_for_link_tests
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${kova_link_root})
set_tests_properties(install_for_link_tests PROPERTIES FIXTURES_SETUP kova_installed)
foreach(mode IN ITEMS library objects)
  foreach(pie IN ITEMS default no-pie)
    set(extra "")
    if(pie STREQUAL "no-pie")
      set(extra -no-pie)
    endif()
    add_test(NAME c_link_installed_${mode}_${pie}
      COMMAND ${CMAKE_COMMAND} -DCC=${CMAKE_C_COMPILER} "-DCFLAGS=${CMAKE_C_FLAGS}" -DEXTRA_FLAGS=${extra}
        "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/c_link/installed_link.c
        -DPREFIX=${kova_link_root} -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DOBJECTDIR=${KOVA_INSTALL_OBJECTDIR}
        -DINCLUDEDIR=${KOVA_INSTALL_INCLUDEDIR} -DMODE=${mode}
        -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/c_link_installed_${mode}_${pie}
        -P ${CMAKE_SOURCE_DIR}/cmake/KovaLinkCheck.cmake)
    set_tests_properties(c_link_installed_${mode}_${pie} PROPERTIES FIXTURES_REQUIRED kova_installed)
  endforeach()
endforeach()

# The version, as kovasim reports it.
add_test(NAME kovasim_version COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:kovasim> --version)
set_tests_properties(kovasim_version PROPERTIES PASS_REGULAR_EXPRESSION "^kovasim ${PROJECT_VERSION}\n$")
