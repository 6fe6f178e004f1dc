#!/usr/bin/env bash
# A page's text as a teacher takes it, on the emulated Q5 camera. Once the
# page plays, Ctrl+Shift+C: xclip, which shares no code with the program,
# reads the words off the clipboard. Then a snapshot (Ctrl+E), File > Export
# to PDF..., Alt+R ticks "Searchable (recognise the text)", Enter on the
# proposed name: poppler's pdftotext finds the words in the file.
# The emulated page is drawn in a 5x7 bitmap font, which Tesseract reads only
# in part (not its large title): the checks ask for words of its subtitle
# and body that it reads every time.
#
#   e2e_copy_text.sh PROGRAM_FOLDER [SCREENSHOT]
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
screenshot=${2:-}
for tool in xclip pdftotext; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done
words=(Document camera dolor amet labore)
# has_words WHAT TEXT: every word of words in TEXT.
has_words() {
  local word
  for word in "${words[@]}"; do
    grep -qiw "$word" <<<"$2" || session_fail "\"$word\" is not in $1: $2"
  done
}

session_prepare "$bin"
images="$SESSION_DIR/pictures/Images/"
session_write_ini "CaptruePath=$SESSION_DIR/pictures/" "DeviceSelect=34790"
session_start

clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
# Ctrl+Shift+C does nothing until the picture plays; then the reading takes a
# second or two.
end=$(($(date +%s) + 60))
until [ -n "$(clipboard)" ]; do
  [ "$(date +%s)" -lt "$end" ] || session_fail "no text on the clipboard 60 s after start"
  xdotool windowfocus --sync "$SESSION_WIN"
  xdotool keydown ctrl keydown shift key c keyup shift keyup ctrl
  sleep 2
done
[ -z "$screenshot" ] || session_screenshot "$screenshot"
has_words "the copied text" "$(clipboard)"
echo "copied $(clipboard | wc -w) words"

shopt -s nullglob
count() {
  local p=("$images"*."$1")
  echo ${#p[@]}
}
xdotool windowfocus --sync "$SESSION_WIN"
session_ctrl_key e
has() { (($(count "$1") == 1)); }
session_until "$SESSION_REACTION_S" "a snapshot after Ctrl+E" has jpg
session_menu_when_enabled d 10
dialog() { [ -n "$(session_window_named "Export to PDF")" ]; }
session_until "$SESSION_REACTION_S" "the save dialog after File > Export to PDF..." dialog
sleep 0.5
xdotool key alt+r
sleep 0.5
xdotool key Return
session_until 30 "a PDF in $images after Enter" has pdf
pdf=$(echo "$images"*.pdf)
session_exit 20
has_words "the PDF's text" "$(pdftotext -q "$pdf" -)"
echo "PDF: $(pdftotext -q "$pdf" - | wc -w) words"
echo "PASS"
