locket_test(test_settings OWN_MAIN
  SOURCES settings_test.cpp ../widgets/widgets_test_main.cpp
  DEPS settings Qt6::Test
  LABELS gui)
