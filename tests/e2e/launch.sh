#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# How tessiro starts the bridge: the headless bridge runs in tessiro itself
# without the GUI libraries mapped; with a display and no window program in
# its libexec folder, tessiro says so and ends instead of running without a
# window nobody asked for, and it never hands over to itself.
#
# Usage: launch.sh PATH/TO/tessiro
set -uo pipefail

tessiro="${1:?usage: launch.sh PATH/TO/tessiro}"
source "$(dirname "$0")/common.sh"
e2e_single_bridge launch

# 1. Headless: the first tick has run once the dropped file is gone; by then
#    every library the bridge will use is mapped.
mkdir -p "$work/prog/Ostro"
printf 'D1:1:CIAO\r\n' >"$work/prog/Ostro/saluto.txt"
env -u DISPLAY -u WAYLAND_DISPLAY "$tessiro" --headless --dir "$work/prog" >"$work/headless.log" 2>&1 &
bridge=$!
for _ in $(seq 300); do
  [ -e "$work/prog/Ostro/saluto.txt" ] || break
  sleep 0.05
done
[ -e "$work/prog/Ostro/saluto.txt" ] && fail "the headless bridge took no file: $(cat "$work/headless.log")"
gui=$(grep -oE 'libQt6(Gui|Widgets)[^ ]*' "/proc/$bridge/maps" | sort -u)
[ -z "$gui" ] || fail "the headless bridge maps the GUI libraries: $gui"
kill -TERM "$bridge"
wait "$bridge"
status=$?
bridge=""
[ "$status" = 0 ] || fail "the headless bridge ended with status $status on SIGTERM"

# Starts the copy of tessiro in alone/bin on a display with no X server
# behind it: it must end at once with status 1 and say `expected` (its
# output goes to CASE.log). An inherited QT_QPA_PLATFORM=offscreen would
# choose the headless bridge, so it goes.
window_start_refused() {
  local case=$1 expected=$2 status
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:77 \
    timeout 20 "$work/alone/bin/tessiro" --dir "$work/prog2" >"$work/$case.log" 2>&1
  status=$?
  [ "$status" = 1 ] || fail "$case: tessiro ended with status $status: $(cat "$work/$case.log")"
  grep -q "$expected" "$work/$case.log" || fail "$case: no \"$expected\": $(cat "$work/$case.log")"
  [ -e "$work/prog2/Ostro" ] && fail "$case: the bridge started without its window"
  return 0
}

# 2. A display, but tessiro copied alone into a folder of its own.
mkdir -p "$work/alone/bin" "$work/prog2"
cp "$tessiro" "$work/alone/bin/tessiro"
window_start_refused alone "the window program could not be started"
grep -q "tessiro --headless" "$work/alone.log" || fail "no hint of --headless: $(cat "$work/alone.log")"

# 3. Where the window program should be stands tessiro itself (a link): it
#    must not hand over to itself for ever.
mkdir -p "$work/alone/bin/libexec/tessiro"
ln -s "$work/alone/bin/tessiro" "$work/alone/bin/libexec/tessiro/tessiro"
window_start_refused self "this program, not the window program"

# 4. A window program that starts (a stand-in that says its arguments):
#    the hand-over itself prints nothing, on either stream.
mkdir -p "$work/handed/bin/libexec/tessiro" "$work/prog3"
cp "$tessiro" "$work/handed/bin/tessiro"
printf '#!/bin/sh\necho "window program $*"\n' >"$work/handed/bin/libexec/tessiro/tessiro"
chmod +x "$work/handed/bin/libexec/tessiro/tessiro"
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:77 \
  timeout 20 "$work/handed/bin/tessiro" --dir "$work/prog3" >"$work/handed.out" 2>"$work/handed.err"
status=$?
[ "$status" = 0 ] || fail "handed over: status $status: $(cat "$work/handed.err")"
[ -s "$work/handed.err" ] && fail "a hand-over that worked printed on standard error: $(cat "$work/handed.err")"
grep -qx "window program --dir $work/prog3" "$work/handed.out" ||
  fail "the window program did not get the folder: $(cat "$work/handed.out")"

echo "PASSED: headless without GUI libraries; a missing window program is reported; a hand-over says nothing"
