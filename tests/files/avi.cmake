locket_test(test_files_avi
  SOURCES
    avi_layout_test.cpp
    avi_disk_full_test.cpp
    avi_roundtrip_test.cpp
    avi_damaged_test.cpp
    avi_readahead_test.cpp
    avi_ffprobe_test.cpp
  DEPS files
  LABELS threaded)
