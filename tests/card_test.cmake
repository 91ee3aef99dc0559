# The virtual card: a C program linked against the simulated library, with
# no code of its own for a card, reads the card that KOVA_CARD names.
add_executable(card_registers ${CMAKE_CURRENT_SOURCE_DIR}/c_link/card_registers.c)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/c_link/card_registers.c PROPERTIES LANGUAGE C)
target_link_libraries(card_registers PRIVATE kova_sim)
set_target_properties(card_registers PROPERTIES LINKER_LANGUAGE C)
add_dependencies(kova_tests card_registers)
target_compile_definitions(kova_tests PRIVATE CARD_REGISTERS_PATH="$<TARGET_FILE:card_registers>")
