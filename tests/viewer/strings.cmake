locket_test(test_viewer_strings
  SOURCES strings_test.cpp
  DEPS viewer_lib)
