#!/usr/bin/env bash
# The searchable PDF as a teacher makes it, on the emulated Q5 camera: a
# snapshot with Ctrl+E, File > Export to PDF..., Alt+R ticks "Searchable
# (recognise the text)", Enter on the proposed name. poppler's pdftotext,
# which shares no code with the program, then finds words of the page (the
# emulated page's bitmap print is read only in part: its subtitle and body
# words that are read every time).
#
#   e2e_searchable_pdf.sh PROGRAM_FOLDER [SCREENSHOT]
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
screenshot=${2:-}
command -v pdftotext >/dev/null || session_fail "pdftotext is missing (scripts/install-deps)"

session_prepare "$bin"
pictures="$SESSION_DIR/pictures/"
images="${pictures}Images/"
session_write_ini "CaptruePath=$pictures" "DeviceSelect=34790"
session_start

shopt -s nullglob
count() {
  local p=("$images"*."$1")
  echo ${#p[@]}
}
end=$(($(date +%s) + 30))
until (($(count jpg) == 1)); do
  [ "$(date +%s)" -lt "$end" ] || session_fail "no picture in $images 30 s after start"
  xdotool windowfocus --sync "$SESSION_WIN"
  session_ctrl_key e
  sleep 1
done

session_menu_when_enabled d 10
dialog() { [ -n "$(session_window_named "Export to PDF")" ]; }
session_until "$SESSION_REACTION_S" "the save dialog after File > Export to PDF..." dialog
sleep 0.5
xdotool key alt+r
sleep 0.5
[ -z "$screenshot" ] || session_screenshot_screen "$screenshot"
xdotool key Return
has_pdf() { (($(count pdf) == 1)); }
session_until 30 "a PDF in $images after Enter" has_pdf
pdf=$(echo "$images"*.pdf)
session_exit 20

text=$(pdftotext -q "$pdf" -)
for word in Document camera dolor amet labore; do
  grep -qiw "$word" <<<"$text" || session_fail "pdftotext does not find \"$word\": $text"
done
echo "PDF: $(basename "$pdf"), $(wc -w <<<"$text") words: $(tr '\n' ' ' <<<"$text" | cut -c1-160)"
echo "PASS"
