# The video model's suites (video_*_test.cpp) need the model's library.
target_link_libraries(kova_tests PRIVATE kova_video)
