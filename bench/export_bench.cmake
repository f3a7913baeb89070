# Export throughput: a two-camera recording to AVI against ffmpeg's remux and a plain copy.
add_executable(export_bench ${CMAKE_CURRENT_SOURCE_DIR}/export_bench.cpp)
target_link_libraries(export_bench PRIVATE export)
