# The map: CPU of two-camera playback with the map hidden and shown, per way of hosting it.
if(LOCKET_WITH_GUI)
  add_executable(map_bench ${CMAKE_CURRENT_LIST_DIR}/map_bench.cpp)
  target_link_libraries(map_bench PRIVATE viewer_lib locket_record_lib)
endif()
