locket_test(test_sensors
  SOURCES
    sensor_gps_test.cpp
    sensor_track_test.cpp
  DEPS files
  LABELS threaded)
