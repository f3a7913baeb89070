locket_fuzz_target(tat_parser_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/tat_parser_fuzz.cpp files tat)
