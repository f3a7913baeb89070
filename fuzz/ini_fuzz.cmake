locket_fuzz_target(ini_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/ini_fuzz.cpp platform)
