locket_test(test_graph OWN_MAIN
  SOURCES graph_test.cpp
  DEPS widgets files Qt6::Widgets
  LABELS gui)
