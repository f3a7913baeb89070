locket_test(test_settings_file
  SOURCES settings_file_test.cpp
  DEPS settings)
