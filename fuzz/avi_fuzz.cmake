locket_fuzz_target(avi_extractor_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/avi_extractor_fuzz.cpp files)
