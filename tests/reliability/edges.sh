#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Bad input at the edges, through the whole process: tests/reliability/edges.sh
#
# Each case drops command files into the real `tessiro --headless` (or starts
# it on a bad folder) and checks that the bridge says what is wrong through
# its error path or a clear message at start, does not crash or hang, and
# loses nothing: every file runs (its marker reaches the printer) or is named
# in a log record, and no file stays behind unreported.
#   content: NUL bytes, no line ends, lone CRs, windows-1252 and invalid
#            UTF-8 bytes, absurd amounts, a 10 MB file without a line end,
#            random bytes
#   names:   255 bytes, blanks, shell metacharacters and quotes, a leading
#            dash, a semicolon, bytes that are no UTF-8
#   folders: a missing program directory, a file in its place, a program
#            directory the bridge cannot write, a read-only IN, a full disk
#            (a 2 MB tmpfs; needs root and mount, else skipped)
# The read-only cases run the bridge as an unprivileged user when the script
# runs as root (root ignores permissions), through setpriv.
set -u
RELIABILITY_NAME=edges
source "$(dirname "$0")/common.sh"

rel_need_binary
rel_workdir
chmod 755 "$REL_WORK"
cases=0
skipped=()

pass() { cases=$((cases + 1)); rel_say "ok: $*"; }

# --------------------------------------------------------------- start-up
out=$("$TESSIRO_BIN" --headless --dir "$REL_WORK/missing" 2>&1) && rel_fail "started on a missing folder"
status=$?
[ "$status" = 2 ] && grep -q "does not exist" <<<"$out" || rel_fail "missing folder: status $status, said: $out"
[ ! -e "$REL_WORK/missing" ] || rel_fail "the missing folder was created"
pass "missing program directory: $out"

touch "$REL_WORK/a-file"
out=$("$TESSIRO_BIN" --headless --dir "$REL_WORK/a-file" 2>&1) && rel_fail "started on a file"
grep -q "is not a directory" <<<"$out" || rel_fail "file as folder: said: $out"
pass "a file as program directory: $out"

out=$("$TESSIRO_BIN" config set --dir "$REL_WORK/missing" Eps_COM 1 2>&1) && rel_fail "config set on a missing folder"
grep -q "does not exist" <<<"$out" || rel_fail "config set on a missing folder said: $out"
pass "config set on a missing program directory: $out"

# The prefix that runs a command as an unprivileged user when this script is
# root (an array, so that `"${AS_USER[@]}" cmd &` gives the command's own PID).
AS_USER=()
[ "$(id -u)" = 0 ] && AS_USER=(setpriv --reuid=65534 --regid=65534 --clear-groups)
as_user() { "${AS_USER[@]}" "$@"; }
can_drop_privileges() { [ "$(id -u)" != 0 ] || command -v setpriv >/dev/null; }

if can_drop_privileges; then
  locked="$REL_WORK/locked"
  mkdir -p "$locked"
  rel_seed_config "$locked/_Configurazione.ini"
  [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$locked"
  chmod 555 "$locked"
  out=$(as_user timeout 20 "$TESSIRO_BIN" --headless --dir "$locked" 2>&1) && rel_fail "started in a folder it cannot write"
  status=$?
  [ "$status" != 124 ] || rel_fail "the bridge hung in a folder it cannot write"
  grep -q "lock file" <<<"$out" || rel_fail "unwritable folder: status $status, said: $out"
  # Not the status of a folder held by another bridge (3): nobody holds it.
  [ "$status" = 5 ] || rel_fail "unwritable folder: status $status, not 5: $out"
  pass "unwritable program directory: $out"
  chmod 755 "$locked"
else
  skipped+=("unwritable folder (no setpriv)")
fi

# ------------------------------------------------------- files, one bridge
# After a failure the error state stands: the operator's recovery through
# `tessiro ctl`, as in soak.sh (void an open receipt, close an open
# document, clear the error state).
recover_if_failed() {
  local dir=$1 ctl=("$TESSIRO_BIN" ctl --dir "$1")
  "${ctl[@]}" stato 2>/dev/null | grep -aq '^error-state: yes' || return 0
  "${ctl[@]}" fine-carta >>"$dir.ctl" 2>&1 || true
  "${ctl[@]}" chiudi-nf >>"$dir.ctl" 2>&1 || true
  "${ctl[@]}" nascondi >>"$dir.ctl" 2>&1 || rel_fail "tessiro ctl nascondi failed"
}
id=100

# Drops NAME made by GENERATOR into DIR's Ostro, written under a dot-name
# and renamed.
edge_drop() {
  local dir=$1 name=$2
  shift 2
  "$@" >"$dir/Ostro/.part"
  mv "$dir/Ostro/.part" "$dir/Ostro/$name"
}
# Once DIR's bridge is idle: EXPECT "runs" (the marker of ID is in the
# trace) or "logged" (a failure record names the file) or "either".
edge_check() {
  local expect=$1 what=$2 dir=$3 name=$4 id=$5
  rel_wait_idle "$dir"
  local marker ran=0 named=0 ref
  marker=$(rel_marker "$id")
  grep -aq "\"$marker" "$dir/Simulatore/chiamate.log" && ran=1
  ref=$(rel_reference "$name")
  cat "$dir/FiscalError.log" "$dir/NotFiscalError.log" 2>/dev/null | grep -aF -- "$ref;" | grep -aq -E '^(PrinterError|Tessiro_Error): ' && named=1
  case $expect in
    runs) [ "$ran" = 1 ] && [ "$named" = 0 ] || rel_fail "$what: ran=$ran logged=$named" ;;
    logged) [ "$named" = 1 ] || rel_fail "$what: no failure record names $name" ;;
    either) [ "$ran" = 1 ] || [ "$named" = 1 ] || rel_fail "$what: neither ran nor logged" ;;
  esac
  [ ! -e "$dir/Ostro/$name" ] && [ ! -e "$dir/IN/$name" ] || rel_fail "$what: the file stayed behind"
  pass "$what ($( [ "$ran" = 1 ] && echo ran)$( [ "$named" = 1 ] && echo ' logged'))"
  recover_if_failed "$dir"
}
# EXPECT WHAT NAME GENERATOR...: one file through the main bridge.
edge() {
  local expect=$1 what=$2 name=$3
  shift 3
  edge_drop "$dir" "$name" "$@"
  edge_check "$expect" "$what" "$dir" "$name" "$id"
  id=$((id + 1))
}
fname() { printf '20261208%06dCOR%06d%s.txt' "$id" "$id" "${1:-}"; }
M() { rel_marker "$id"; }

# A file whose last line is cut waits a minute before it runs as it is, and
# a failed file holds the files after it until the recovery. So each such
# case gets a folder and a bridge of its own, started first; the other cases
# run meanwhile, and held_check looks at these at the end.
held=()
edge_held() {
  local expect=$1 what=$2 name=$3 hdir="$REL_WORK/held$id"
  shift 3
  mkdir -p "$hdir/Ostro"
  rel_seed_config "$hdir/_Configurazione.ini" 20
  rel_start_bridge "$hdir"
  held+=("$BRIDGE_PID|$expect|$what|$hdir|$name|$id")
  rel_wait_started "$hdir" 1
  BRIDGE_PID=""
  edge_drop "$hdir" "$name" "$@"
  id=$((id + 1))
}
held_check() {
  local entry pid expect what hdir name hid
  for entry in "${held[@]}"; do
    IFS='|' read -r pid expect what hdir name hid <<<"$entry"
    BRIDGE_PID=$pid
    REL_IDLE_TRIES=6000 edge_check "$expect" "$what" "$hdir" "$name" "$hid"
    rel_stop_bridge
  done
  held=()
}

edge_held logged "a 10 MB record without a line end" "$(fname)" \
  bash -c 'printf "F5:1:"; head -c 10000000 /dev/zero | tr "\0" "A"'
edge_held either "4 KB of random bytes" "$(fname)" \
  bash -c 'printf "F5:1:%s\r\n" "$1"; head -c 4096 /dev/urandom' _ "$(M)"

dir="$REL_WORK/prog"
mkdir -p "$dir/Ostro"
rel_seed_config "$dir/_Configurazione.ini" 20
starts=1
rel_start_bridge "$dir"
rel_wait_started "$dir" 1

edge runs "NUL bytes in a description" "$(fname)" \
  printf 'F2:1:PA\0NE:1000:150:1\r\nF5:1:%s\0coda\r\nF4:0:0:0:1\r\n' "$(M)"
edge logged "a NUL byte inside an amount" "$(fname)" \
  printf 'F2:1:PANE:1000:1\x0050:1\r\nF5:1:%s\r\nF4:0:0:0:1\r\n' "$(M)"
edge runs "no line end at all (commas only)" "$(fname)" \
  printf 'F2:1:PANE:1000:150:1,F5:1:%s,F4:0:0:0:1' "$(M)"
edge runs "lone CR line ends" "$(fname)" \
  printf 'F2:1:PANE:1000:150:1\rF5:1:%s\rF4:0:0:0:1\r' "$(M)"
edge runs "windows-1252 and invalid UTF-8 bytes" "$(fname)" \
  printf 'F2:1:CAFF\xc8 \x80 \xc3\x28 \xff\xfe:1000:150:1\r\nF5:1:%s\r\nF5:1:\xe0\xe8\xec\xf2\xf9\x9c\r\nF4:0:0:0:1\r\n' "$(M)"
edge logged "an amount beyond the 64-bit currency range" "$(fname)" \
  printf 'F2:1:PANE:1000:922337203685477580800:1\r\nF5:1:%s\r\nF4:0:0:0:1\r\n' "$(M)"
edge logged "an amount above the printer's limit" "$(fname)" \
  printf 'F2:1:PANE:1000:999999999999:1\r\nF5:1:%s\r\nF4:0:0:0:1\r\n' "$(M)"
edge logged "a quantity of 10^40" "$(fname)" \
  printf 'F2:1:PANE:10000000000000000000000000000000000000000:150:1\r\nF5:1:%s\r\nF4:0:0:0:1\r\n' "$(M)"

long=$(fname)
long="${long%.txt}$(printf 'x%.0s' $(seq 1 $((255 - ${#long}))))".txt
long=${long:0:251}.txt
[ "${#long}" = 255 ] || rel_fail "test name is ${#long} bytes"
edge runs "a 255-byte name" "$long" rel_receipt "$id"
edge logged "a 255-byte name, failing" "$(fname "$(printf 'y%.0s' $(seq 1 200))")" \
  printf 'F2:1:PANE:1000:x:1\r\n'
edge runs "blanks in the name" "$(fname ' con  spazi ')" rel_receipt "$id"
edge runs "shell metacharacters in the name" "$(fname ' $(touch PWNED) `touch PWNED` ; & | > < * ? [a]')" rel_receipt "$id"
edge logged "shell metacharacters in the name, failing" "$(fname " \$HOME 'q' \"dq\" \\ ;")" \
  printf 'F2:1:PANE:1000:x:1\r\nF5:1:%s\r\n' "$(M)"
edge runs "a leading dash" "-rf $(fname)" rel_receipt "$id"
edge runs "windows-1252 bytes in the name" "$(fname "$(printf ' \xe8\x80')")" rel_receipt "$id"
find "$REL_WORK" / -maxdepth 1 -name PWNED 2>/dev/null | grep -q . && rel_fail "a name was run by a shell"

# ------------------------------------------------------------ read-only IN
if can_drop_privileges; then
  rel_stop_bridge
  [ "$(id -u)" = 0 ] && chown -R 65534:65534 "$dir" && chmod 755 "$REL_WORK"
  start_as_user() {
    "${AS_USER[@]}" "$TESSIRO_BIN" --headless --dir "$dir" >>"$dir.out" 2>&1 &
    BRIDGE_PID=$!
    REL_PIDS+=("$BRIDGE_PID")
    starts=$((starts + 1))
    rel_wait_started "$dir" "$starts"
  }
  start_as_user
  chmod 555 "$dir/IN"
  name=$(fname)
  rel_receipt "$id" >"$dir/Ostro/.part"
  mv "$dir/Ostro/.part" "$dir/Ostro/$name"
  tries=0
  until grep -aqF "$(rel_reference "$name");" "$dir/FiscalError.log" 2>/dev/null; do
    tries=$((tries + 1)); [ "$tries" -lt 400 ] || rel_fail "read-only IN: no record names the file"; sleep 0.05
  done
  sleep 0.3
  [ -e "$dir/Ostro/$name" ] || rel_fail "read-only IN: the file left Ostro"
  grep -aF "$(rel_reference "$name");" "$dir/FiscalError.log" | grep -aq "lasciato in Ostro" ||
    rel_fail "read-only IN: the record does not say the file stayed in Ostro"
  [ "$(grep -aF "$(rel_reference "$name");" "$dir/FiscalError.log" | grep -ac 'lasciato in Ostro')" = 1 ] ||
    rel_fail "read-only IN: the stuck file is reported more than once"
  # The operator ends the bridge, fixes IN and starts it again: the file
  # runs. (Fixed while the error stands, the file would be taken and
  # discarded with a record, as every file is while an error stands.)
  rel_stop_bridge
  chmod 755 "$dir/IN"
  start_as_user
  rel_wait_idle "$dir"
  grep -aq "\"$(rel_marker "$id")\"" "$dir/Simulatore/chiamate.log" || rel_fail "read-only IN: the file did not run afterwards"
  pass "read-only IN: reported once, left in Ostro, ran after the fix"
  id=$((id + 1))
  rel_stop_bridge
  [ "$(id -u)" = 0 ] && chown -R 0:0 "$dir"
else
  skipped+=("read-only IN (no setpriv)")
fi
[ -n "$BRIDGE_PID" ] && rel_stop_bridge

# -------------------------------------------------------------- full disk
full="$REL_WORK/full"
mkdir -p "$full"
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=2m tessiro-full "$full" 2>/dev/null; then
  REL_CLEANUP_EXTRA="umount '$full' 2>/dev/null"
  dir="$full/prog"
  mkdir -p "$dir/Ostro"
  rel_seed_config "$dir/_Configurazione.ini" 20
  # The bridge's standard error must not land on the full disk.
  REL_OUT="$REL_WORK/full.out"
  starts=1
  rel_start_bridge "$dir"
  rel_wait_started "$dir" 1
  name=$(fname)
  rel_drop "$dir" "$name" "$(rel_receipt "$id")"
  rel_wait_idle "$dir"
  # Fill the disk, then drop one more receipt (the rename needs no space).
  id=$((id + 1)); name=$(fname)
  rel_receipt "$id" >"$dir/Ostro/.part"
  head -c 4000000 /dev/zero >"$full/filler" 2>/dev/null || true
  mv "$dir/Ostro/.part" "$dir/Ostro/$name"
  tries=0
  while [ -e "$dir/Ostro/$name" ] || [ -e "$dir/IN/$name" ]; do
    tries=$((tries + 1)); [ "$tries" -lt 400 ] || rel_fail "full disk: the file was not taken"; sleep 0.05
    kill -0 "$BRIDGE_PID" 2>/dev/null || rel_fail "full disk: the bridge ended"
  done
  sleep 0.5
  kill -0 "$BRIDGE_PID" 2>/dev/null || rel_fail "full disk: the bridge ended"
  # Either it printed, or the failure is on file, or (the log itself could
  # not be written) said on standard error with the record.
  ref=$(rel_reference "$name")
  if grep -aq "\"$(rel_marker "$id")\"" "$dir/Simulatore/chiamate.log" && grep -aq "$(rel_marker "$id")" "$dir/Simulatore/giornale.txt"; then
    how="printed"
  elif grep -aqF "$ref;" "$dir/FiscalError.log" 2>/dev/null; then
    how="failure on file"
  elif grep -aqF "$ref;" "$REL_OUT"; then
    how="failure said on stderr"
  else
    rel_fail "full disk: the file is not accounted for"
  fi
  # Space comes back: the same bridge must take files again (the failure
  # left the error state standing, so the file is discarded and logged).
  rm -f "$full/filler"
  id=$((id + 1)); name=$(fname)
  rel_drop "$dir" "$name" "$(rel_receipt "$id")"
  tries=0
  while [ -e "$dir/Ostro/$name" ]; do
    tries=$((tries + 1)); [ "$tries" -lt 200 ] || rel_fail "full disk: after space came back the bridge takes no file"
    sleep 0.05
  done
  rel_wait_idle "$dir"
  grep -aq "\"$(rel_marker "$id")\"" "$dir/Simulatore/chiamate.log" || grep -aqF "$(rel_reference "$name");" "$dir/FiscalError.log" ||
    rel_fail "full disk: the file after the recovery is not accounted for"
  rel_stop_bridge
  REL_OUT=""
  unset REL_OUT
  for key in Eps_COM Eps_Vuoto intervalTimer ChiaveEstranea Negozio; do
    grep -q "^$key=" "$dir/_Configurazione.ini" || rel_fail "full disk: key $key lost"
  done
  rel_check_litter "$dir" || rel_fail "full disk: litter"
  pass "full disk: $how; configuration whole"
  umount "$full" && REL_CLEANUP_EXTRA=""
else
  skipped+=("full disk (needs root and tmpfs mount)")
fi

# ----------------------------------------- the recovery's record, then the note
# A bridge killed while a file waits on a busy printer. At the restart the
# record of that file must be on the disk (the log flushed) before the note
# that asked for it is cleared: a power cut in between tells it again, never
# not. Seen in the system calls of the restarted bridge.
if ! command -v strace >/dev/null; then
  (source "$REL_ROOT/scripts/deps.sh" && install_deps strace) >&2 || true
fi
# A container may forbid tracing: then the case cannot look, and skips.
if command -v strace >/dev/null && strace -f -qq -o /dev/null true 2>/dev/null; then
  dir="$REL_WORK/order"
  mkdir -p "$dir/Ostro" "$dir/Simulatore"
  rel_seed_config "$dir/_Configurazione.ini" 20
  printf '[Guasti]\r\nOccupato=100000\r\n' >"$dir/Simulatore/guasti.ini"
  REL_OUT="$REL_WORK/order.out"
  rel_start_bridge "$dir"
  rel_wait_started "$dir" 1
  name=$(rel_fiscal_name 900001)
  rel_drop "$dir" "$name" "$(rel_receipt 900001)"
  tries=0
  until [ -e "$dir/IN/$name" ]; do
    tries=$((tries + 1)); [ "$tries" -lt 400 ] || rel_fail "record order: the file never reached IN"; rel_sleep 0.05
  done
  rel_sleep 0.3
  rel_kill_bridge
  rm -f "$dir/Simulatore/guasti.ini"
  strace -f -y -qq -s 512 -e trace=write,pwrite64,fdatasync,fsync -o "$REL_WORK/order.strace" \
    "$TESSIRO_BIN" --headless --dir "$dir" >>"$REL_OUT" 2>&1 &
  tracer=$!
  REL_PIDS+=("$tracer")
  tries=0
  until grep -aq "File interrotto prima dell'esecuzione" "$dir/FiscalError.log" 2>/dev/null &&
    [ "$(rel_vuoto "$dir")" = -1 ]; do
    tries=$((tries + 1)); [ "$tries" -lt 600 ] || rel_fail "record order: no record of the interrupted file"
    rel_sleep 0.05
  done
  pkill -TERM -P "$tracer" tessiro 2>/dev/null || kill -TERM "$(pgrep -P "$tracer")" 2>/dev/null || true
  wait "$tracer" 2>/dev/null || true
  rel_forget "$tracer"
  # The write of the record, then a flush of that log, then the note's
  # next write: in that order.
  order=$(awk '
    /write\([0-9]+<[^>]*FiscalError\.log>, ".*interrotto prima/ && !rec { rec = NR; next }
    rec && /fdatasync\([0-9]+<[^>]*FiscalError\.log>/ && !flush { flush = NR }
    rec && /pwrite64\([0-9]+<[^>]*\.tessiro\.running>/ { note = NR; exit }
    END { if (!rec) print "no record"; else if (!note) print "no note write"; else if (!flush) print "note cleared before the log was flushed"; else print "ok" }
  ' "$REL_WORK/order.strace")
  [ "$order" = ok ] || rel_fail "record order: $order (see $REL_WORK/order.strace)"
  REL_OUT=""
  unset REL_OUT
  pass "record order: the interrupted file's record is flushed before its note is cleared"
else
  skipped+=("record order (needs strace, and tracing allowed)")
fi

held_check

[ ${#skipped[@]} = 0 ] || rel_say "skipped: ${skipped[*]}"
echo "edges: PASS cases=$cases skipped=${#skipped[@]}"
