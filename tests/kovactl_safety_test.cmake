# kovactl's signal holds are tested in process, on the simulated flavour.
target_sources(kova_tests PRIVATE $<TARGET_OBJECTS:kovactl_sim_logic>)
target_link_libraries(kova_tests PRIVATE kovactl_sim_logic)
