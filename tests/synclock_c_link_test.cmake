# A C program linked against the hardware objects synclock.o, portmem.o and
# misc.o reads the exported tables: proves their C linkage and types.
set(KOVA_SYNCLOCK_LINK_OBJECTS
  ${CMAKE_BINARY_DIR}/objects/synclock.o ${CMAKE_BINARY_DIR}/objects/portmem.o ${CMAKE_BINARY_DIR}/objects/misc.o)
add_executable(synclock_c_link ${CMAKE_CURRENT_SOURCE_DIR}/c_link/synclock_c_link.c)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/c_link/synclock_c_link.c PROPERTIES LANGUAGE C)
target_include_directories(synclock_c_link PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(synclock_c_link PRIVATE ${KOVA_SYNCLOCK_LINK_OBJECTS})
set_target_properties(synclock_c_link PROPERTIES LINKER_LANGUAGE C)
add_dependencies(synclock_c_link kova_objects)
add_test(NAME synclock_c_link COMMAND synclock_c_link)
