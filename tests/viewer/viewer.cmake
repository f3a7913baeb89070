locket_test(test_viewer_window OWN_MAIN
  SOURCES window_test.cpp playback_test.cpp export_test.cpp
    viewer_test_main.cpp
  DEPS viewer_lib locket_record_lib Qt6::Test
  LABELS gui)
locket_test(test_viewer_units
  SOURCES units_test.cpp
  DEPS viewer_lib)
# The command-line export is run as the program itself.
add_dependencies(test_viewer_window locket-viewer)
