# TAT library figures: listing a large card, opening recordings with and without an index.
add_executable(tat_listing_bench ${CMAKE_CURRENT_SOURCE_DIR}/tat_listing_bench.cpp)
target_link_libraries(tat_listing_bench PRIVATE tat)
add_executable(tat_open_bench ${CMAKE_CURRENT_SOURCE_DIR}/tat_open_bench.cpp)
target_link_libraries(tat_open_bench PRIVATE tat)
