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
