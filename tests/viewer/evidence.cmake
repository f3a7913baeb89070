# Knock marks, picture steps, play speed, clip marks and the clip export menu in the window.
locket_test(test_viewer_evidence OWN_MAIN
  SOURCES evidence_window_test.cpp viewer_test_main.cpp
  DEPS viewer_lib locket_record_lib Qt6::Test
  LABELS gui)
