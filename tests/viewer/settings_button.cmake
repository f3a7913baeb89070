locket_test(test_viewer_settings_button OWN_MAIN
  SOURCES settings_button_test.cpp viewer_test_main.cpp
  DEPS viewer_lib locket_record_lib Qt6::Test
  LABELS gui)
