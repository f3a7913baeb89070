# Clip export: MP4 of a 300 MiB two-camera recording against ffmpeg, GPX and CSV of an hour.
add_executable(clip_bench ${CMAKE_CURRENT_SOURCE_DIR}/clip_bench.cpp)
target_link_libraries(clip_bench PRIVATE export)
