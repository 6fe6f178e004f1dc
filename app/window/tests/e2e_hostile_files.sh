#!/usr/bin/env bash
# Hostile files beside the program: a DocumentDevice.ini, a language file and
# the program's own INI file of several megabytes, each holding binary
# garbage, over-long lines, invalid UTF-8 and keys outside any section. With
# each in turn the program starts as usual on its defaults (the emulated Q5
# camera plays), says what it ignored, and ends through File > Exit.
#
#   e2e_hostile_files.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1

# hostile FILE KEY=VALUE...: several megabytes of what no reader expects, the
# keys given among them but outside any section.
hostile() {
  local file=$1
  shift
  {
    printf '%s\n' "$@"
    head -c 1500000 /dev/urandom
    printf '\n[Unclosed section\n'
    printf 'Long=%s\n' "$(head -c 2000000 /dev/zero | tr '\0' x)"
    printf '\xff\xfe\xc3\x28=\xed\xa0\x80\nName=\xc0\xaf\n'
    printf '%s\n' "$@"
    head -c 1500000 /dev/urandom
  } >"$file"
}

# run WHAT FILE_NAME: starts the program, waits for the picture, ends it;
# the notice naming FILE_NAME must be in its output.
run() {
  local what=$1 name=$2
  session_start
  session_menu_when_enabled s 30 # Start Record: the picture plays
  session_menu r || session_fail "$what: Stop Record is disabled while recording"
  session_exit 30
  grep -q "TovekCamera: .*$name" "$SESSION_DIR/program.log" ||
    session_fail "$what: no notice about $name: $(head -c 2000 "$SESSION_DIR/program.log")"
  echo "$what: $(grep -a "TovekCamera: " "$SESSION_DIR/program.log" | head -n 1 | cut -c 1-200)"
}

session_prepare "$bin"
mkdir -p "$SESSION_DIR/records"
session_write_ini "RecordPath=$SESSION_DIR/records/"
hostile "$SESSION_DIR/program/DocumentDevice.ini" "count=1000000" "Dev01=RVXM4120"
run "device catalogue" DocumentDevice.ini
session_cleanup

session_prepare "$bin"
mkdir -p "$SESSION_DIR/records"
session_write_ini "RecordPath=$SESSION_DIR/records/"
hostile "$SESSION_DIR/program/English.lng" "Name=English" "117=Garbage"
hostile "$SESSION_DIR/program/German.lng" "[Language]" "Name=Deutsch" "[Strings]" "117=Müll"
run "language files" English.lng
session_cleanup

session_prepare "$bin"
hostile "$SESSION_DIR/program/TovekCamera.INI" "RecordPath=/nonexistent/" "ZoomMode=4" \
  "WindowPos=00"
run "program INI" TovekCamera.INI
# The settings written at start-up and while running landed in the file.
grep -aq '^ShowLogo=0' "$SESSION_DIR/program/TovekCamera.INI" ||
  session_fail "program INI: ShowLogo was not written back"
echo "PASS"
