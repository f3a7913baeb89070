# The playback engine: decode-and-present throughput against bare libavcodec, CPU per second
# of real-time two-camera playback, and the time from a paused seek to its picture.
add_executable(engine_bench
  ${CMAKE_CURRENT_SOURCE_DIR}/engine_bench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/playback_reference.cpp)
target_link_libraries(engine_bench PRIVATE engine locket_record_lib PkgConfig::FFMPEG)
