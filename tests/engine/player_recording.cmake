locket_test(test_engine_player_recording
  SOURCES player_recording_test.cpp
  DEPS engine files tat locket_opencv
  LABELS threaded)
# The recordings are made by the recorder tool at test time.
if(TARGET locket-record)
  add_dependencies(test_engine_player_recording locket-record)
endif()
