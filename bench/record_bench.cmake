# locket-record figures: pictures per second of a recording (scene, encoder, sound, sensors,
# TAT writer) against the ffmpeg command encoding a test pattern of the same size.
add_executable(record_bench ${CMAKE_CURRENT_LIST_DIR}/record_bench.cpp)
target_link_libraries(record_bench PRIVATE locket_record_lib)
