locket_test(test_settings OWN_MAIN
  SOURCES settings_test.cpp
  DEPS settings Qt6::Test
  LABELS gui)
