// The entry line of a main-window handler. The trace names the window and its
// handlers as the trace format always has ("TovekCameraDlg::OnMenuFileCaptur"),
// whatever the code calls them now, so that trace readers keep working.
#pragma once

#include "common/AppTrace.h"

#define TRACE_DLG(fn) TOVEK_TRACE_HANDLER("TovekCameraDlg", fn)
