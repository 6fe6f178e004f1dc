// The AddressSanitizer options built into every test program (tovek_add_test
// links this file), so they hold however the tests are started.

// Outside libraries are built without frame pointers; the slow unwinder
// gives their allocations whole stacks, so the leak suppressions
// (leak_suppressions.cpp) can name the frame that owns an allocation rather
// than a general allocator. Not weak: clang's runtime defines a weak default
// of its own, which a weak definition here would not replace.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
