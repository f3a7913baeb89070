locket_test(test_engine_player
  SOURCES player_test.cpp
  DEPS engine
  LABELS threaded)
