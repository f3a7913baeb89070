locket_test(test_widgets_skin OWN_MAIN
  SOURCES skin_test.cpp
  DEPS widgets Qt6::Test)
