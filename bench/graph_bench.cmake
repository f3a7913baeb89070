if(LOCKET_WITH_GUI)
  add_executable(graph_bench ${CMAKE_CURRENT_LIST_DIR}/graph_bench.cpp)
  target_link_libraries(graph_bench PRIVATE widgets files Qt6::Widgets)
endif()
