#!/usr/bin/env bash
# The compiled help opens in xchm (package xchm) under a virtual display: a
# window titled with the help's title appears and xchm keeps running.
#
#   e2e_xchm.sh LUMIVUE.CHM
set -euo pipefail
chm=$(readlink -f "$1")
if [ -z "${TOVEK_XCHM_DISPLAY:-}" ]; then
  for tool in xchm xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps)" >&2; exit 1; }
  done
  export TOVEK_XCHM_DISPLAY=1
  exec "$(dirname "$0")/../../testsupport/shell/with-display" 1024x768x24 "$(readlink -f "$0")" "$@"
fi

home=$(mktemp -d)
log=$home/xchm.log
# A home of its own: xchm keeps its recent files and window place there.
HOME=$home xchm "$chm" >"$log" 2>&1 &
pid=$!
cleanup() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT

for _ in $(seq 1 60); do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: xchm ended on $chm" >&2
    cat "$log" >&2
    exit 1
  fi
  if xdotool search --onlyvisible --name "Lumivue Help" >/dev/null 2>&1; then
    echo "xchm shows \"$(xdotool search --onlyvisible --name "Lumivue Help" getwindowname | head -1)\""
    exit 0
  fi
  sleep 0.5
done
echo "FAIL: no xchm window titled \"Lumivue Help\" within 30 seconds" >&2
xdotool search --onlyvisible --name . getwindowname 2>/dev/null >&2 || true
cat "$log" >&2
exit 1
