// The program's one vocabulary of ids, shared by the main window, the camera
// session, the view and the shell: command ids (menu items carry theirs as
// QAction data), resource ids, string ids and the window's private messages.
// Nothing here depends on Qt.
#pragma once

#include <cstdint>

namespace cmd {
inline constexpr uint32_t kPlay = 32774;
inline constexpr uint32_t kStop = 32775;
inline constexpr uint32_t kCapture = 32776;
inline constexpr uint32_t kFullScreen = 32777;
inline constexpr uint32_t kZoomFirst = 32778; // Actual Size; zoom mode = id - kZoomFirst
inline constexpr uint32_t kZoomLast = 32782;  // Fit Image
inline constexpr uint32_t kZoomCount = kZoomLast - kZoomFirst + 1;
inline constexpr uint32_t kLanguageFirst = 32790;
inline constexpr uint32_t kLanguageLast = 33790;
inline constexpr uint32_t kDeviceFirst = 34790; // "None" until the catalogue fills the menu
inline constexpr uint32_t kDeviceLast = 35790;
inline constexpr uint32_t kSetting = 36792;
inline constexpr uint32_t kControlFirst = 36797; // Zoom in
inline constexpr uint32_t kControlLast = 36806;  // Neg
inline constexpr uint32_t kHelp = 36807;
inline constexpr uint32_t kAbout = 36809;
inline constexpr uint32_t kStartRecord = 36810;
inline constexpr uint32_t kStopRecord = 36811;
inline constexpr uint32_t kOptions = 36813;
// Items of this program's own, clear of the ids above.
inline constexpr uint32_t kStartTimeLapse = 36820;
inline constexpr uint32_t kStopTimeLapse = 36821;
inline constexpr uint32_t kFreeze = 36822;      // hold the picture on screen, or live again
inline constexpr uint32_t kRotateRight = 36823; // a quarter turn clockwise
inline constexpr uint32_t kRotateLeft = 36824;
// The Edit menu: the annotations' history, clearing and hiding them.
inline constexpr uint32_t kUndo = 36825;
inline constexpr uint32_t kRedo = 36826;
inline constexpr uint32_t kClearAnnotations = 36827;
inline constexpr uint32_t kHideAnnotations = 36828;
// View: the shown picture black and back, the presenter remote's blank key.
inline constexpr uint32_t kBlank = 36829;
// View: a spotlight or a curtain over the shown picture, ended by Esc.
inline constexpr uint32_t kSpotlight = 36830;
inline constexpr uint32_t kCurtain = 36831;
// View: the strip of captures and the side-by-side compare; File: the
// captures as one PDF.
inline constexpr uint32_t kGallery = 36832;
inline constexpr uint32_t kCompare = 36833;
inline constexpr uint32_t kExportPdf = 36834;
// Edit: the shown picture's text onto the clipboard.
inline constexpr uint32_t kCopyText = 36840;
// File > Share With Class (a check item: sharing on or off), and what a
// second start's --share and --share-stop run (no menu items: on stays on).
inline constexpr uint32_t kShare = 36845;
inline constexpr uint32_t kShareStart = 36846;
inline constexpr uint32_t kShareStop = 36847;
// View: the page found, flattened and shown alone; the document filter; the
// page's corners found again after they were dragged by hand.
inline constexpr uint32_t kPageMode = 36835;
inline constexpr uint32_t kDocumentFilter = 36836;
inline constexpr uint32_t kResetPage = 36837;
inline constexpr uint32_t kExit = 57665;
} // namespace cmd

namespace res {
inline constexpr uint32_t kMainDialog = 102;
inline constexpr uint32_t kMainMenu = 128;
inline constexpr uint32_t kViewContextMenu = 131;
// Positions of the main menu's submenus the program fills.
inline constexpr int kLanguageMenuPosition = 3;
inline constexpr int kDeviceMenuPosition = 5;
// The Edit menu stands second, but language files key its title P6, after
// the six menus they have always named: their P1 to P5 keep their menus.
inline constexpr int kEditMenuLanguageKey = 6;
} // namespace res

namespace ids {
inline constexpr uint32_t kStrAbout = 101;
inline constexpr uint32_t kStrAttached = 103;
inline constexpr uint32_t kStrDetached = 104;
inline constexpr uint32_t kStrPlaying = 105;
inline constexpr uint32_t kStrTitle = 117;
inline constexpr uint32_t kStrClockFormat = 131;
} // namespace ids

// The window's own messages, posted as QEvent types of these numbers
// (QCoreApplication::postEvent is safe from any thread).
namespace msg {
inline constexpr int kVideoStop = 1144;   // Q5 stream event 3
inline constexpr int kVideoAttach = 1145; // Q5 stream event 0
inline constexpr int kVideoDetach = 1146; // Q5 stream event 1
inline constexpr int kMouseMove = 1147;   // the view's mouse position changed
inline constexpr int kFrame = 1148;       // wparam: width | height << 16; lparam: frame length
inline constexpr int kCapture = 2029;
inline constexpr int kStartRecord = 2030;
inline constexpr int kStopRecord = 2031;
inline constexpr int kSetting = 2032;
// Not numbered by the original window: a capture graph reported a failure
// (the camera session keeps its texts). In Qt's user range, clear of the above.
inline constexpr int kStreamError = 2040;
// The recorder started or stopped (also by itself): refresh the window.
inline constexpr int kRecorderChanged = 2041;
// A time-lapse took a picture or ended by itself: wparam the count, lparam
// the result (timelapse::Result).
inline constexpr int kTimeLapse = 2042;
} // namespace msg
