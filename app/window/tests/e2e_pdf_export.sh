#!/usr/bin/env bash
# The PDF export as a teacher uses it, on the emulated Q5 camera: three
# snapshots with Ctrl+E, File > Export to PDF... (Alt+F, D), Enter in the save
# dialog on the name it proposes (the Images folder, the date and time).
# Then poppler's pdfinfo and pdfimages, which share no code with the program,
# read three pages, each with one JPEG picture at the camera's size.
#
#   e2e_pdf_export.sh PROGRAM_FOLDER [SCREENSHOT]
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
screenshot=${2:-}
for tool in pdfinfo pdfimages; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done

session_prepare "$bin"
pictures="$SESSION_DIR/pictures/"
images="${pictures}Images/"
session_write_ini "CaptruePath=$pictures" "DeviceSelect=34790"
session_start

# Capture is enabled once the picture plays; File > Export to PDF only once
# there is a capture.
session_menu d && session_fail "Export to PDF is enabled before any capture"
count() {
  local p=("$images"*."$1")
  echo ${#p[@]}
}
# has EXTENSION N: N files of that kind in the Images folder.
has() { [ "$(count "$1")" = "$2" ]; }
shopt -s nullglob
# The first once the picture plays; the others a second apart, as the names
# go by the second.
end=$(($(date +%s) + 30))
until (($(count jpg) == 1)); do
  [ "$(date +%s)" -lt "$end" ] || session_fail "no picture in $images 30 s after start"
  xdotool windowfocus --sync "$SESSION_WIN"
  session_ctrl_key e
  sleep 1
done
for n in 2 3; do
  sleep 1.1
  xdotool windowfocus --sync "$SESSION_WIN"
  session_ctrl_key e
  session_until "$SESSION_REACTION_S" "picture $n after Ctrl+E" has jpg "$n"
done
session_expect_main_window_only "after three snapshots"

session_menu d || session_fail "Export to PDF is disabled after three snapshots"
dialog() { [ -n "$(session_window_named "Export to PDF")" ]; }
only_main() { ! session_windows | grep -vx "$SESSION_WIN" >/dev/null; }
session_until "$SESSION_REACTION_S" "the save dialog after File > Export to PDF..." dialog
sleep 0.5
[ -z "$screenshot" ] || session_screenshot_screen "$screenshot"
xdotool key Return
session_until 20 "a PDF in $images after Enter" has pdf 1
pdf=$(echo "$images"*.pdf)
[[ "$(basename "$pdf")" =~ ^[0-9]{4}\.[0-9]{2}\.[0-9]{2}-[0-9]{2}H[0-9]{2}M[0-9]{2}s\.pdf$ ]] ||
  session_fail "the proposed name: $(basename "$pdf")"
session_until "$SESSION_REACTION_S" "only the main window after Enter" only_main
session_exit 20

pages=$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')
[ "$pages" = 3 ] || session_fail "pdfinfo counts $pages pages in $pdf"
jpegs=$(pdfimages -list "$pdf" | tail -n +3 | awk '$3 == "image" && $4 == 1024 && $5 == 768 && $9 == "jpeg"' | wc -l)
[ "$jpegs" = 3 ] || session_fail "pdfimages lists $jpegs JPEG pictures of 1024 x 768: $(pdfimages -list "$pdf")"
echo "PDF: $(basename "$pdf"), $pages pages, $(stat -c %s "$pdf") bytes"
echo "PASS"
