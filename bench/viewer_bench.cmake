# The main window: CPU per second of two-camera playback against bare libavcodec, start-up to
# the listed card on screen, and paused seek-bar release to picture.
if(LOCKET_WITH_GUI)
  add_executable(viewer_bench
    ${CMAKE_CURRENT_LIST_DIR}/viewer_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/playback_reference.cpp)
  target_link_libraries(viewer_bench PRIVATE viewer_lib locket_record_lib PkgConfig::FFMPEG)
endif()
