locket_test(test_sensors
  SOURCES
    sensor_track_test.cpp
  DEPS files
  LABELS threaded)
