# Sensor logs, knocks and the files a clip is handed over in, checked by readers nobody here wrote.
locket_test(test_files_evidence
  SOURCES evidence_test.cpp
  DEPS files locket_record_lib
  LABELS threaded)
