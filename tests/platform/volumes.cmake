locket_test(test_platform_volumes
  SOURCES volumes_test.cpp
  DEPS platform)
