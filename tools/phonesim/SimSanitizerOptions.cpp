// The simulator's stand-ins start a hundred times in a phone test, and in a sanitizer
// tree the leak scan at each exit is a quarter of that start. They are test doubles, not
// the program: they skip the scan, which the tests' environment leaves at its default
// for every other process. An ASAN_OPTIONS that names detect_leaks still wins.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}
#endif
