# The widgets' tests in one program with one QApplication.
locket_test(test_widgets OWN_MAIN
  SOURCES graph_test.cpp language_test.cpp map_test.cpp skin_test.cpp widgets_test_main.cpp
  DEPS widgets Qt6::Widgets Qt6::Test
  LABELS gui)
