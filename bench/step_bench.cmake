# Picture steps at 1080p: a step back decodes from its group's key picture.
add_executable(step_bench ${CMAKE_CURRENT_SOURCE_DIR}/step_bench.cpp)
target_link_libraries(step_bench PRIVATE engine files tat)
add_dependencies(step_bench locket-record)
target_compile_definitions(step_bench PRIVATE LOCKET_BUILD_DIR="${PROJECT_BINARY_DIR}")
