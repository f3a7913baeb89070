// Sanitizer settings built into every test program, so a plain ctest or a test run by hand
// behaves like ./test.sh. Unused when the build has no sanitizer.

extern "C" {

const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}

const char* __tsan_default_options() {
    return "halt_on_error=1:second_deadlock_stack=1";
}

// OpenCV's image codecs load GDAL, which takes its own two mutexes in both orders on one
// thread: not our locks.
const char* __tsan_default_suppressions() {
    return "deadlock:libgdal.so\n";
}

// Process-lifetime caches of system libraries, not our allocations.
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n"
           "leak:libQt6\n"
           "leak:libdbus\n"
           "leak:libglib\n";
}

}  // extern "C"
