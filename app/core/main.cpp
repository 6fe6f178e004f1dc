// TovekCamera: the document camera viewer.
//   --simulate   use the emulated cameras and microphone instead of real ones
//                (as does TOVEK_SIMULATE set in the environment)
#include "TovekCameraApp.h"

#include "platform/system.h"
#include "sim/install.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    // Before any library starts: every library reads the switch when it
    // initialises, and the emulated devices must be in place by then.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulate") == 0)
            setenv("TOVEK_SIMULATE", "1", 1);
    }
    if (platform::SimulateDevices())
        sim::InstallEmulatedDevices();
    QApplication qt(argc, argv);
    TovekCameraApp app;
    app.InitInstance();
    return app.ExitInstance();
}
