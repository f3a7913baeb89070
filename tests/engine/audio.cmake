locket_test(test_engine_audio
  SOURCES wave_box_test.cpp
  DEPS engine
  LABELS threaded)
