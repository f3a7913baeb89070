locket_fuzz_target(sensor_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/sensor_fuzz.cpp files)
