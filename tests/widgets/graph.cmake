locket_test(test_graph OWN_MAIN
  SOURCES graph_test.cpp
  DEPS widgets Qt6::Widgets
  LABELS gui)
