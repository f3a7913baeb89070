locket_test(test_settings_file
  SOURCES settings_file_test.cpp
  DEPS settings)
locket_test(test_settings_dialog OWN_MAIN
  SOURCES setting_dlg_test.cpp
  DEPS settings Qt6::Test
  LABELS gui)
