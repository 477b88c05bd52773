// The simulator's stand-ins start a hundred times in a phone test, and in a sanitizer
// tree the leak scan at each exit is a quarter of that start. They skip it: the adb
// stand-in is a test double, and the agent stand-in, which runs the agent's own code,
// detaches with its error output on /dev/null, where no report of the scan was ever seen.
// The tests' environment leaves the scan at its default for every other process; an
// ASAN_OPTIONS that names detect_leaks still wins.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}
#endif
