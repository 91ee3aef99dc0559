# The state before a traced run: the registers read through the tracer's back
# end over the simulated controller, kept as a card and loaded back.
if(TARGET kova_record_card)
  add_executable(record_card_tests kovarun/record_card_test.cpp ${CMAKE_SOURCE_DIR}/tool/kovactl/register_access.cpp)
  target_include_directories(record_card_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tool/kovactl)
  target_link_libraries(record_card_tests PRIVATE kova_record_card ${KOVA_GTEST})
  gtest_discover_tests(record_card_tests DISCOVERY_MODE PRE_TEST)
endif()
