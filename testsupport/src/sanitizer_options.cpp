// Sanitizer settings built into every test program (tovek_add_test links
// this file), so they hold however the tests are started. Only allocations
// of outside libraries belong here, each with its reason; a leak of ours is
// a fault to mend.

// Names the frames or libraries whose allocations LeakSanitizer ignores:
// - _dl_init: GLib allocates once in its library constructor (GStreamer and
//   the emulated devices bring it in) and never frees it;
// - pa_context_new_with_proplist: GStreamer's PulseAudio device provider
//   does not free its connection context when no sound server answers the
//   probe (machines without sound);
// - libfontconfig.so: Fontconfig keeps its font cache for the life of the
//   process once Qt lays out the first text.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:_dl_init\n"
           "leak:pa_context_new_with_proplist\n"
           "leak:libfontconfig.so\n";
}

// Outside libraries are built without frame pointers; the slow unwinder
// gives their allocations whole stacks, so the suppressions above can name
// the frame that owns an allocation rather than a general allocator.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
