// The exports live in the core; this unit gives the shared library a source of its own.
#include "q5_usb.h"
