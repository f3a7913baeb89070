locket_test(test_viewer_trips OWN_MAIN
  SOURCES trips_test.cpp viewer_test_main.cpp
  DEPS viewer_lib locket_record_lib Qt6::Test
  LABELS gui)
