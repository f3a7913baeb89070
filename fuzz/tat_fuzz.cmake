locket_fuzz_target(tat_reader_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/tat_reader_fuzz.cpp tat)
