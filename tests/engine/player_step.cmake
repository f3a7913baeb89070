locket_test(test_engine_player_step
  SOURCES player_step_test.cpp
  DEPS engine files tat
  LABELS threaded)
if(TARGET locket-record)
  add_dependencies(test_engine_player_step locket-record)
endif()
