// The main of test programs that run on the emulated devices: it puts them
// together as the program does with --simulate, then runs the tests.
#include "sim/install.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests, as CTest does to discover them, needs no devices.
    if (!GTEST_FLAG_GET(list_tests)) {
        sim::InstallEmulatedDevices();
    }
    return RUN_ALL_TESTS();
}

// GLib allocates once while it loads (the emulated devices bring it in) and
// never frees it; nothing of ours belongs here. Weak, so that a test program
// with suppressions of its own keeps them.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:_dl_init\n";
}

// Outside libraries are built without frame pointers; the slow unwinder
// gives their allocations whole stacks, so the suppression above can name
// the loader frame that owns the allocation.
extern "C" __attribute__((weak)) const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
