locket_test(test_platform
  SOURCES private_profile_test.cpp
  DEPS platform)
