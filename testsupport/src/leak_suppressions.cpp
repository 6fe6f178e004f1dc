// The LeakSanitizer suppressions built into every test program (tovek_add_test
// links this file), so they hold however the tests are started. Only
// allocations of outside libraries belong here, each with its reason; a leak
// of ours is a fault to mend. A test helper that needs more adds its own
// lines through tovek_test_leak_suppressions (testsupport/leak_suppressions.h).

#include "testsupport/leak_suppressions.h"

#include <cstdio>

// Weak: only the programs that link such a helper define it.
extern "C" __attribute__((weak)) const char* tovek_test_leak_suppressions();

namespace {

// The frames or libraries whose allocations LeakSanitizer ignores:
// - _dl_init: GLib allocates once in its library constructor (GStreamer and
//   the emulated devices bring it in) and never frees it;
// - pa_context_new_with_proplist: GStreamer's PulseAudio device provider
//   does not free its connection context when no sound server answers the
//   probe (machines without sound);
// - libfontconfig.so: Fontconfig keeps its font cache for the life of the
//   process once Qt lays out the first text;
// - pthread_getattr_np: the sanitizer's own set-up of a new thread holds
//   this buffer for a moment; a thread started just before the process ends
//   (a notifier that lives as long as the process) can be caught in that
//   moment by the check at exit, a known race of the sanitizer runtime;
// - libmicrohttpd.so: the HTTP library's own error answer to a malformed
//   request (made inside the library, never handed to us) is not freed when
//   the server stops while that connection is open.
constexpr const char kShared[] = "leak:_dl_init\n"
                                 "leak:pa_context_new_with_proplist\n"
                                 "leak:libfontconfig.so\n"
                                 "leak:pthread_getattr_np\n"
                                 "leak:libmicrohttpd.so\n";

} // namespace

extern "C" const char* __lsan_default_suppressions() {
    // Built when LeakSanitizer asks, at its check at exit: a plain buffer,
    // so nothing is constructed or destroyed then.
    static char all[1024];
    std::snprintf(all, sizeof all, "%s%s", kShared,
                  tovek_test_leak_suppressions != nullptr ? tovek_test_leak_suppressions() : "");
    return all;
}
