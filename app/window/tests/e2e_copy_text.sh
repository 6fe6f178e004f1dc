#!/usr/bin/env bash
# Edit > Copy Text as a teacher uses it, on the emulated Q5 camera: once the
# page plays, Ctrl+Shift+C; the status bar counts the words and xclip, which
# shares no code with the program, reads the page's words off the clipboard.
# The emulated page is drawn in a 5x7 bitmap font, which Tesseract reads only
# in part (not its large title): the check asks for words of its subtitle
# and body that it reads every time.
#
#   e2e_copy_text.sh PROGRAM_FOLDER [SCREENSHOT]
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
screenshot=${2:-}
command -v xclip >/dev/null || session_fail "xclip is missing (scripts/install-deps)"

session_prepare "$bin"
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
text=$(clipboard)
[ -z "$screenshot" ] || session_screenshot "$screenshot"
for word in Document camera dolor amet labore; do
  grep -qiw "$word" <<<"$text" || session_fail "\"$word\" is not among the copied text: $text"
done
session_expect_main_window_only "after Copy Text"
session_exit 20
echo "copied $(wc -w <<<"$text") words: $(tr '\n' ' ' <<<"$text" | cut -c1-200)"
echo "PASS"
