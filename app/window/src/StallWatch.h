// A heartbeat on the user-interface thread for measuring the running
// program: when the environment variable TOVEK_STALL_REPORT names a file, a
// timer beats every kBeatMs and appends to that file
//
//   first_paint <wall-clock ms>      once, at the first beat that finds the
//                                    view has painted a camera frame
//   late <wall-clock ms> <ms>        each beat that came kReportLateMs or more
//                                    after it was due: how long the thread
//                                    could not answer
//
// Wall-clock milliseconds since the epoch, so that a script can put its own
// steps (Play, Stop, pulling the camera) beside them.
#pragma once

class QWidget;
class VideoView;

namespace stall_watch {

constexpr int kBeatMs = 10;
constexpr int kReportLateMs = 5;

// Starts the heartbeat as a child of owner when the variable is set and its
// file opens; otherwise does nothing.
void StartFromEnvironment(QWidget* owner, const VideoView* view);

} // namespace stall_watch
