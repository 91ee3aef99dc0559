# pkg-config files and the CMake package, both relocatable: they find the
# installed tree relative to their own location.
include(CMakePackageConfigHelpers)

set(KOVA_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH KOVA_PC_PREFIX_FROM_PCDIR /root/${KOVA_PKGCONFIG_DIR} /root)
string(REGEX REPLACE "/$" "" KOVA_PC_PREFIX_FROM_PCDIR "${KOVA_PC_PREFIX_FROM_PCDIR}")
foreach(pc IN ITEMS kova kova-sim)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${KOVA_GENERATED_DIR}/${pc}.pc @ONLY)
  install(FILES ${KOVA_GENERATED_DIR}/${pc}.pc DESTINATION ${KOVA_PKGCONFIG_DIR})
endforeach()

install(EXPORT kovaTargets NAMESPACE kova:: DESTINATION ${KOVA_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/kovaConfig.cmake.in
  ${KOVA_GENERATED_DIR}/kovaConfig.cmake
  INSTALL_DESTINATION ${KOVA_INSTALL_CMAKEDIR}
  PATH_VARS KOVA_INSTALL_OBJECTDIR)
# 0.x releases: only the same minor version is compatible.
write_basic_package_version_file(${KOVA_GENERATED_DIR}/kovaConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${KOVA_GENERATED_DIR}/kovaConfig.cmake ${KOVA_GENERATED_DIR}/kovaConfigVersion.cmake
  DESTINATION ${KOVA_INSTALL_CMAKEDIR})
