locket_test(test_widgets_map OWN_MAIN
  SOURCES map_test.cpp
  DEPS widgets Qt6::Test)
