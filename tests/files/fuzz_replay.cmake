# Inputs that once made a fuzz target fail, replayed through the target's entry with an ordinary
# compiler: fuzz/regression/TARGET/ holds the inputs of fuzz/TARGET.cpp, which links as its
# fuzz/TARGET.cmake says.
function(locket_fuzz_target name source)
  set(inputs ${PROJECT_SOURCE_DIR}/fuzz/regression/${name})
  if(EXISTS ${inputs})
    get_filename_component(file ${source} NAME)
    add_executable(replay_${name}
      ${PROJECT_SOURCE_DIR}/fuzz/${file}
      ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp
      ${PROJECT_SOURCE_DIR}/tests/support/sanitizer_defaults.cpp)
    target_link_libraries(replay_${name} PRIVATE ${ARGN})
    add_test(NAME fuzz_regression.${name} COMMAND replay_${name} ${inputs})
  endif()
endfunction()

# A new folder of inputs reruns the configuration.
file(GLOB fuzz_regressions CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/regression/*)
file(GLOB fuzz_lists CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/*_fuzz.cmake)
foreach(list ${fuzz_lists})
  include(${list})
endforeach()
