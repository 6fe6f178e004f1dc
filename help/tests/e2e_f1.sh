#!/usr/bin/env bash
# F1 in the running program opens Lumivue.chm in the desktop's CHM viewer:
# the program from a folder of its own with the help file beside it, on the
# emulated cameras under a virtual display; xdg-open hands the file to xchm,
# whose window shows the help's title. Without the help file, F1 shows the
# missing-file message instead (checked by the window tests).
#
#   e2e_f1.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../testsupport/shell/program_session.sh"
session_require_display "$@"
bin=$1
for tool in xchm xdg-open xdg-mime; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done
[ -f "$bin/Lumivue.chm" ] || session_fail "no $bin/Lumivue.chm (chmcmd missing at build time?)"
[ "$(xdg-mime query default application/vnd.ms-htmlhelp)" = xchm.desktop ] ||
  session_fail "xchm is not the desktop's viewer for CHM files"

session_prepare "$bin"
cp "$bin/Lumivue.chm" "$SESSION_DIR/program/"
session_write_ini "DeviceSelect=34790" "WindowPos=00000000000000000004000000030000"
session_start
session_wait_size 1024x768

viewer() { xdotool search --onlyvisible --name "Lumivue Help" 2>/dev/null | head -1; }
[ -z "$(viewer)" ] || session_fail "a help window is open before F1"
xdotool windowfocus --sync "$SESSION_WIN"
xdotool key F1
shown() { [ -n "$(viewer)" ]; }
session_until 30 "xchm showing \"Lumivue Help\" after F1" shown
echo "F1: \"$(xdotool getwindowname "$(viewer)")\""
# The viewer runs on its own; it goes before the program does.
pid=$(xdotool getwindowpid "$(viewer)" 2>/dev/null || true)
[ -z "$pid" ] || kill "$pid" 2>/dev/null || true
session_exit 20
session_cleanup
