#!/usr/bin/env bash
# Page mode and Copy Text together, as a teacher uses them on the emulated
# desk (a page lying at an angle, tovek-sim scene desk): F6 flattens the
# page, Ctrl+Shift+C reads it. xclip, which shares no code with the program,
# reads the clipboard back: at least 90 % of the first page's words.
#
#   e2e_page_text.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
command -v xclip >/dev/null || session_fail "xclip is missing (scripts/install-deps)"
[ -x "$bin/tovek-sim" ] || session_fail "no $bin/tovek-sim (build first)"

# The first desk page's body, as the emulator sets it.
expected="The river rises in the northern hills and flows south through the valley.
Farmers along its banks grow wheat, barley and apples in the summer months.
In winter the water freezes near the old mill and children skate on it.
A small museum in the town shows tools that were used two hundred years ago.
Visitors can walk from the station to the bridge in about twenty minutes.
The school library opens every morning at eight and closes at four.
Students should return their books before the end of each term.
Light travels faster than sound, which is why we see lightning first.
Plants need water, sunlight and carbon dioxide to make their own food."

session_prepare "$bin"
session_write_ini "DeviceSelect=34790"
session_start
end=$(($(date +%s) + 30))
sim() { XDG_RUNTIME_DIR="$SESSION_DIR/runtime" "$bin/tovek-sim" --pid "$SESSION_PID" "$@" >/dev/null 2>&1; }
session_until "$SESSION_REACTION_S" "tovek-sim scene desk answered" sim scene desk

clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
words() { tr -cs "[:alnum:]'" '\n' | tr '[:upper:]' '[:lower:]' | sed '/^$/d'; }
# right: how many of the expected words (in order, each once) the clipboard holds.
right() {
  awk 'NR == FNR { have[$0]++; next } have[$0] > 0 { have[$0]--; n++ } END { print n + 0 }' \
    <(clipboard | words) <(words <<<"$expected")
}
total=$(words <<<"$expected" | wc -l)
enough() { (($(right) * 10 >= total * 9)); }

read_once() { [ -n "$(clipboard)" ]; }
# A first reading of the whole picture, once it plays (F6 waits for that):
# the page at its angle reads at about 80 %.
until read_once; do
  [ "$(date +%s)" -lt "$end" ] || session_fail "nothing on the clipboard 30 s after start"
  xdotool windowfocus --sync "$SESSION_WIN"
  xdotool key ctrl+shift+c
  sleep 1
done
echo "the desk, before page mode: $(right) of $total words"
xdotool windowfocus --sync "$SESSION_WIN"
xdotool key F6
# Page mode, then Copy Text until the page's words are there: the page is
# found within a second and its corners settle over the next few, so an
# early reading may be of a page not yet squared. Each try empties the
# clipboard first, so that only a new reading counts.
sleep 2
tries=0
until ((tries > 0)) && enough; do
  ((tries < 5)) || session_fail "$(right) of $total words on the clipboard: $(clipboard | tr '\n' ' ')"
  tries=$((tries + 1))
  xclip -i -selection clipboard /dev/null
  xdotool windowfocus --sync "$SESSION_WIN"
  xdotool key ctrl+shift+c
  session_until 30 "text on the clipboard after Ctrl+Shift+C" read_once
  echo "reading $tries: $(right) of $total words"
  sleep 1
done
echo "Copy Text in page mode: $(right) of $total words"
session_exit 20
echo "PASS"
