#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The LAN printer through the real programs: `tessiro serve-printer` serves a
# simulator on a free port of 127.0.0.1, `tessiro init --printer` points a
# second folder at it, and the test receipt printed there leaves the same
# roll as the test receipt printed on the simulator in-process. A client that
# stops sending in the middle of a request holds nothing up; the headless
# bridge names its printer in `ctl stato` and never maps the HTTP server.
#
# Usage: serve-printer.sh PATH/TO/tessiro
set -uo pipefail

tessiro="${1:?usage: serve-printer.sh PATH/TO/tessiro}"
work="$(mktemp -d "${TMPDIR:-/tmp}/tessiro-serve.XXXXXX")"
server=""
bridge=""
cleanup() {
  [ -n "$bridge" ] && kill "$bridge" 2>/dev/null && wait "$bridge" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  exec 3>&- 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
roll() { sed -E 's/[0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}/<data e ora>/' "$1/Simulatore/giornale.txt"; }

mkdir -p "$work/served" "$work/till" "$work/local"
for dir in till local; do
  "$tessiro" config set --dir "$work/$dir" Eps_COM 1 || fail "config set"
  "$tessiro" config set --dir "$work/$dir" Eps_Setting 9600,N,8,1 || fail "config set"
done

env -u DISPLAY -u WAYLAND_DISPLAY "$tessiro" serve-printer --dir "$work/served" --listen 127.0.0.1:0 \
  >"$work/server.out" 2>"$work/server.err" &
server=$!
port=""
for _ in $(seq 200); do
  port=$(sed -nE 's/^listening on 127\.0\.0\.1:([0-9]+)$/\1/p' "$work/server.out")
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || fail "serve-printer ended: $(cat "$work/server.err")"
  sleep 0.05
done
[ -n "$port" ] || fail "serve-printer did not say its port: $(cat "$work/server.err")"

# A client that sends half a request and then nothing.
exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "no connection to serve-printer"
printf 'POST /cgi-bin/fpmate.cgi HTTP/1.1\r\nHost: x\r\nContent-Length: 500\r\n\r\n<s:Envelope' >&3

"$tessiro" init --dir "$work/till" --printer "http://127.0.0.1:$port" >"$work/init.out" 2>&1 ||
  fail "init: $(cat "$work/init.out")"
grep -q "the LAN printer at http://127.0.0.1:$port" "$work/init.out" || fail "init said: $(cat "$work/init.out")"

timeout 60 "$tessiro" test-receipt --dir "$work/till" >"$work/till.out" 2>&1 ||
  fail "test receipt on the LAN printer: $(cat "$work/till.out")"
timeout 60 "$tessiro" test-receipt --dir "$work/local" >"$work/local.out" 2>&1 ||
  fail "test receipt on the simulator: $(cat "$work/local.out")"
# The LAN printer is sent a subtotal discount before the subtotal, so its
# SUBTOTALE is the net one; the in-process simulator prints the calls in the
# order they come. Apart from that line, the rolls are the same.
diff <(roll "$work/served" | grep -v '^SUBTOTALE ') <(roll "$work/local" | grep -v '^SUBTOTALE ') \
  >"$work/roll.diff" || fail "the rolls differ: $(cat "$work/roll.diff")"
if grep -q '^SCONTO SUBTOTALE' "$work/served/Simulatore/giornale.txt"; then
  grep -A1 '^SCONTO SUBTOTALE' "$work/served/Simulatore/giornale.txt" | grep -q '^SUBTOTALE ' ||
    fail "the LAN roll has no subtotal right after its discount: $(roll "$work/served")"
fi
grep -q "printerFiscalReceipt" "$work/till/StampanteLAN.log" || fail "no receipt in the trace"

# The headless bridge on the LAN folder: its printer in ctl stato, and no
# HTTP server library in its memory.
env -u DISPLAY -u WAYLAND_DISPLAY "$tessiro" --headless --quiet --dir "$work/till" >"$work/bridge.log" 2>&1 &
bridge=$!
state=""
for _ in $(seq 200); do
  state=$("$tessiro" ctl --dir "$work/till" stato 2>/dev/null) && break
  sleep 0.05
done
echo "$state" | grep -q "^printer: stampante LAN http://127.0.0.1:$port$" || fail "ctl stato said: $state"
grep -q "HttpServer" "/proc/$bridge/maps" && fail "the bridge maps the HTTP server library"
kill -TERM "$bridge"
wait "$bridge"
bridge=""

"$tessiro" init --dir "$work/till" --printer simulatore >/dev/null 2>&1 || fail "init back to the simulator"
grep -q "^Tipo=simulatore" "$work/till/Stampante.ini" || fail "Stampante.ini: $(cat "$work/till/Stampante.ini")"
echo "PASSED: the test receipt through serve-printer prints the simulator's roll"
