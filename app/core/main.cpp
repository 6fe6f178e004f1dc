// TovekCamera: the document camera viewer.
//   --simulate   use the emulated cameras and microphone instead of real ones
#include "TovekCameraApp.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    // Before any library starts: every library reads the switch when it
    // initialises.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulate") == 0)
            setenv("TOVEK_SIMULATE", "1", 1);
    }
    QApplication qt(argc, argv);
    TovekCameraApp app;
    app.InitInstance();
    return app.ExitInstance();
}
