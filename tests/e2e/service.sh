#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The headless bridge as the user service runs it: READY=1 and STATUS= on a
# socket standing in for systemd's NOTIFY_SOCKET, one line on standard error
# for each record, `ctl stato` exiting 1 while an error stands and its JSON,
# a port set with `tessiro config set` applied by SIGHUP and by
# `ctl ricarica`, and `ctl nascondi` leaving the stored value alone.
#
# Usage: service.sh PATH/TO/tessiro
# Needs python3 (the stand-in socket and the JSON reader); as root it is
# installed when missing, otherwise the test says SKIPPED.
set -uo pipefail

tessiro="${1:?usage: service.sh PATH/TO/tessiro}"
if ! command -v python3 >/dev/null 2>&1; then
  if [ "$(id -u)" != 0 ]; then echo "SKIPPED: python3 is missing"; exit 0; fi
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends python3 >/dev/null ||
    { echo "FAILED: could not install python3" >&2; exit 1; }
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/tessiro-service.XXXXXX")"
prog="$work/prog"
mkdir -p "$prog/Ostro" "$work/run"
chmod 700 "$work/run"
pids=()
passed=0
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  if [ "$passed" = 1 ]; then rm -rf "$work"; else
    echo "--- bridge output ---" >&2; cat "$work/bridge.log" >&2 2>/dev/null
    echo "--- notifications ---" >&2; cat "$work/notify.log" >&2 2>/dev/null
    echo "--- files kept in $work ---" >&2
  fi
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
source "$(dirname "$0")/common.sh"
ctl() { XDG_RUNTIME_DIR="$work/run" "$tessiro" ctl --dir "$prog" "$@"; }

# The stand-in for systemd: every datagram, one per line ("\n" inside as |).
python3 - "$work/notify.sock" "$work/notify.log" <<'PY' &
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
with open(sys.argv[2], "a", buffering=1) as log:
    while True:
        log.write(s.recv(4096).decode().replace("\n", "|") + "\n")
PY
pids+=($!)
wait_for 10 test -S "$work/notify.sock" || fail "the stand-in socket did not start"

"$tessiro" config set --dir "$prog" Eps_COM "" || fail "config set failed"
printf 'D1:1:PRIMA\r\n' >"$prog/Ostro/20261208000000NOF_prima.txt"
env -u DISPLAY -u WAYLAND_DISPLAY -u JOURNAL_STREAM XDG_RUNTIME_DIR="$work/run" NOTIFY_SOCKET="$work/notify.sock" \
  WATCHDOG_USEC=180000000 "$tessiro" --headless --dir "$prog" >"$work/bridge.log" 2>&1 &
bridge=$!
pids+=($bridge)

wait_for 20 grep -q '^READY=1|STATUS=' "$work/notify.log" || fail "no READY=1 with a STATUS"
grep -q 'WATCHDOG=1' "$work/notify.log" || fail "no WATCHDOG=1 with a watchdog asked for"
echo "ready: $(head -n1 "$work/notify.log")"

# No port: the file fails, one line a record, STATUS says the error.
wait_for 10 grep -q 'NOF_prima.txt;' "$prog/NotFiscalError.log" || fail "the first file left no record"
wait_for 10 grep -q 'STATUS=Errore in sospeso' "$work/notify.log" || fail "no STATUS for the standing error"
records=$(grep -c '^Tessiro_Error: \|^PrinterError: ' "$prog/NotFiscalError.log")
lines=$(grep -c 'tessiro\[ERRORE\]' "$work/bridge.log")
[ "$records" = "$lines" ] || fail "$records failure records but $lines ERRORE lines on standard error"
grep -q 'MsgErrore\|NOPrinter' "$work/bridge.log" && fail "a widget's name on standard error"
echo "one ERRORE line for each of $records failure records; STATUS follows the error"

ctl stato >"$work/stato.txt"
[ $? = 1 ] || fail "ctl stato did not exit 1 with an error standing"
grep -q '^errore programma:' "$work/stato.txt" || fail "ctl stato does not name the program's panel"
ctl stato --json >"$work/stato.json"
[ $? = 1 ] || fail "ctl stato --json did not exit 1 with an error standing"
python3 - "$work/stato.json" <<'PY' || fail "ctl stato --json: $(cat "$work/stato.json")"
import json, sys
o = json.load(open(sys.argv[1]))
assert o["error_state"] is True, o
assert o["last_file"] == "20261208000000NOF_prima.txt", o
assert o["last_file_outcome"] == "non riuscito", o
assert o["files_waiting"] == 0, o
assert isinstance(o["uptime_seconds"], int), o
assert o["last_error_time"] and o["program_error"].startswith("----- PROGRAM ERROR -----"), o
PY
echo "ctl stato exits 1 with the error standing; its JSON parses"

# The port written outside, then SIGHUP: the next file runs.
"$tessiro" config set --dir "$prog" Eps_COM 1 || fail "config set failed"
ctl nascondi >/dev/null || fail "ctl nascondi failed"
[ "$("$tessiro" config get --dir "$prog" Eps_COM)" = 1 ] || fail "ctl nascondi wrote the port back"
ctl stato >/dev/null || fail "ctl stato did not exit 0 once the error was cleared"
wait_for 10 bash -c "grep STATUS= '$work/notify.log' | tail -n1 | grep -q 'STATUS=In attesa di file'" ||
  fail "STATUS did not come back to idle"
printf 'D1:1:SECONDA\r\n' >"$prog/Ostro/20261208000001NOF_seconda.txt"
wait_for 10 grep -q 'SECONDA' "$prog/Simulatore/visore.txt" || fail "the port applied by nascondi did not open"
echo "ctl nascondi kept the port written outside and applied it"

"$tessiro" config set --dir "$prog" Eps_COM "" || fail "config set failed"
kill -HUP "$bridge"
wait_for 10 grep -q 'settings reloaded' "$work/bridge.log" || fail "SIGHUP reloaded nothing"
kill -0 "$bridge" || fail "SIGHUP ended the bridge"
printf 'D1:1:TERZA\r\n' >"$prog/Ostro/20261208000002NOF_terza.txt"
wait_for 10 grep -q 'NOF_terza.txt;' "$prog/NotFiscalError.log" || fail "the port emptied and reloaded by SIGHUP was not applied"
ctl nascondi >/dev/null
"$tessiro" config set --dir "$prog" Eps_COM 1 || fail "config set failed"
ctl ricarica >/dev/null || fail "ctl ricarica failed"
printf 'D1:1:QUARTA\r\n' >"$prog/Ostro/20261208000003NOF_quarta.txt"
wait_for 10 grep -q 'QUARTA' "$prog/Simulatore/visore.txt" || fail "the port applied by ctl ricarica did not open"
echo "SIGHUP and ctl ricarica apply the stored port"

kill -TERM "$bridge"
wait "$bridge"
status=$?
[ "$status" = 0 ] || fail "the bridge ended with status $status on SIGTERM"
wait_for 5 grep -q '^STOPPING=1' "$work/notify.log" || fail "no STOPPING=1 on SIGTERM"
[ -z "$(ls -A "$work/run/tessiro")" ] || fail "the control socket outlived the bridge"
passed=1
echo "PASSED"
