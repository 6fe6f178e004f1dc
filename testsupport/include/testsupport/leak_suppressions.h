// LeakSanitizer suppressions a test helper adds to the shared ones of every
// test program (testsupport/src/sanitizer_options.cpp): a helper that brings
// in an outside library which keeps allocations to the end defines this, and
// every program that links the helper suppresses them too.
#pragma once

// Lines of the suppression format ("leak:NAME\n"); defined by at most one
// helper of a program.
extern "C" const char* tovek_test_leak_suppressions();
