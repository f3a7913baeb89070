# Inputs that once made a fuzz target fail, replayed through the target's entry with an ordinary
# compiler: fuzz/regression/TARGET/ holds the inputs of fuzz/TARGET.cpp.
file(GLOB fuzz_regressions LIST_DIRECTORIES true CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/fuzz/regression/*)
foreach(folder ${fuzz_regressions})
  get_filename_component(target ${folder} NAME)
  add_executable(replay_${target}
    ${PROJECT_SOURCE_DIR}/fuzz/${target}.cpp
    ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/sanitizer_defaults.cpp)
  target_link_libraries(replay_${target} PRIVATE files tat)
  add_test(NAME fuzz_regression.${target} COMMAND replay_${target} ${folder})
endforeach()
