locket_test(test_widgets_strings
  SOURCES strings_test.cpp
  DEPS widgets)
