// LeakSanitizer settings built into the test programs, so they hold however
// the tests are started.

// GLib allocates once while it loads and never frees it; GStreamer's
// PulseAudio device provider keeps its connection context when no sound
// server answers the audio library's probe. Nothing of ours belongs here.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:_dl_init\nleak:pa_context_new_with_proplist\n";
}

// Outside libraries are built without frame pointers; the slow unwinder
// gives their allocations whole stacks, so the suppression above can name
// the loader frame that owns the allocation.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
