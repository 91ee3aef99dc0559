# The Debian package (cpack -G DEB in the build directory): programs, both
# libraries, headers, object modules, pkg-config and CMake files, man pages
# and bash completion.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kova)
set(CPACK_PACKAGE_VENDOR "The kova developers")
set(CPACK_PACKAGE_CONTACT "The kova developers <kova@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "capview, kovasim, kovactl, kovarun, kovatrace, kovaview and the kova chip library")
set(CPACK_PACKAGE_DESCRIPTION
  "capview shows live video from a graphics controller's video-input port as an overlay window and can lock the display timing to the video; kovasim runs it on a simulated controller; kovactl runs every library operation from the shell and undoes a sync lock; kovarun runs the hardware programs on the simulated controller, for a rehearsal before the first run on the card; kovatrace runs them on the card, confined to the controller, and records each register access; kovaview shows the simulated screen live in a window or as a y4m stream. The package also holds the register-level library (hardware and simulated flavour), its headers, object modules, pkg-config and CMake files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES OFF)
include(CPack)
