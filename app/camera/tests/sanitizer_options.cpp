// LeakSanitizer settings built into the test programs, so they hold however
// the tests are started.

// GLib allocates once while it loads (GStreamer brings it in) and never
// frees it; nothing of ours belongs here.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:_dl_init\n";
}

// Outside libraries are built without frame pointers; the slow unwinder
// gives their allocations whole stacks, so the suppression can name the
// loader frame that owns the allocation.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
