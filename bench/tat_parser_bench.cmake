# TAT parser figures: read-ahead throughput against the bare library loop, seek latency.
add_executable(tat_parser_bench ${CMAKE_CURRENT_SOURCE_DIR}/tat_parser_bench.cpp)
target_link_libraries(tat_parser_bench PRIVATE files tat)
