// LeakSanitizer settings built into the widget tests, so they hold however
// the tests are started.

// Fontconfig keeps its font cache for the life of the process once Qt lays
// out the first text; nothing of ours belongs here.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
