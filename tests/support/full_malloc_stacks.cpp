// Sanitizer builds of tests that load system libraries built without frame
// pointers (fontconfig, under Qt's font database): the fast unwinder stops at
// the first frame inside such a library, so allocation stacks end there and
// the leak suppressions in tests/lsan.supp, which name the library function
// that leaks by design, could never match. The complete unwinder records
// whole stacks, at some cost per allocation.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
