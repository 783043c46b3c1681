# SPDX-License-Identifier: MIT
# Shared by the reliability scripts (sourced, not run): the bridge binary,
# the processes a script starts and their clean-up, command files with a
# unique marker, and the accounting of every file dropped.
#
# A script sets RELIABILITY_NAME, sources this file, and then uses:
#   rel_start_bridge DIR      starts `tessiro --headless --dir DIR` (BRIDGE_PID)
#   rel_wait_started DIR N    waits for the N-th start-up record of DIR
#   rel_stop_bridge           SIGTERM and wait; fails when the exit is not clean
#   rel_kill_bridge           SIGKILL and wait
#   rel_drop DIR NAME BODY    drops a file the way the back-office should:
#                             written under a dot-name, then renamed
#   rel_receipt ID            a fiscal receipt whose F5 line carries ID-<ID>
#   rel_account DIR IDS...    checks every dropped file ran at most once and
#                             is accounted for

set -u

REL_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REL_ROOT=$(cd "$REL_HERE/../.." && pwd)
TESSIRO_BIN=${TESSIRO_BIN:-$REL_ROOT/build-rel/tessiro}
export LC_ALL=C
export QT_QPA_PLATFORM=offscreen
# With a sanitized build (SANITIZE=1 ./test.sh) the caller's ASAN_OPTIONS
# hold: a leak found when a bridge or a tool ends makes its exit status
# non-zero, and the scripts fail on that.

# Sleeps without a fork (read times out on a descriptor that never has data).
exec {REL_NEVER}<> <(:)
rel_sleep() { read -r -t "$1" -u "$REL_NEVER" _ || true; }

REL_PIDS=()
REL_WORK=""
BRIDGE_PID=""

rel_say() { echo "${RELIABILITY_NAME:-reliability}: $*" >&2; }
rel_fail() { rel_say "FAIL: $*"; exit 1; }

rel_cleanup() {
  local status=$?
  local pid
  for pid in "${REL_PIDS[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
  done
  REL_PIDS=()
  if [ -n "${REL_CLEANUP_EXTRA:-}" ]; then eval "$REL_CLEANUP_EXTRA" || true; fi
  if [ -n "$REL_WORK" ] && [ -d "$REL_WORK" ]; then
    if [ "${RELIABILITY_KEEP:-0}" = 1 ] || { [ "$status" != 0 ] && [ "${RELIABILITY_KEEP_ON_FAIL:-1}" = 1 ]; }; then
      rel_say "work folder kept: $REL_WORK"
    else
      chmod -R u+rwX "$REL_WORK" 2>/dev/null || true
      rm -rf "$REL_WORK"
    fi
  fi
  exit "$status"
}
trap rel_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

rel_need_binary() {
  if [ ! -x "$TESSIRO_BIN" ]; then
    rel_fail "no tessiro binary at $TESSIRO_BIN (build it, or set TESSIRO_BIN)"
  fi
}

rel_workdir() {
  REL_WORK=$(mktemp -d "${TMPDIR:-/tmp}/tessiro-${RELIABILITY_NAME:-rel}.XXXXXX")
}

# Forgets a process that has ended, so clean-up does not signal a reused PID.
rel_forget() {
  local gone=$1 pid kept=()
  for pid in "${REL_PIDS[@]}"; do [ "$pid" = "$gone" ] || kept+=("$pid"); done
  REL_PIDS=("${kept[@]}")
}

rel_start_bridge() {
  local dir=$1
  "$TESSIRO_BIN" --headless --dir "$dir" >>"${REL_OUT:-$dir.out}" 2>&1 &
  BRIDGE_PID=$!
  REL_PIDS+=("$BRIDGE_PID")
}

rel_kill_bridge() {
  [ -n "$BRIDGE_PID" ] || return 0
  kill -KILL "$BRIDGE_PID" 2>/dev/null || true
  wait "$BRIDGE_PID" 2>/dev/null || true
  rel_forget "$BRIDGE_PID"
  BRIDGE_PID=""
}

rel_stop_bridge() {
  [ -n "$BRIDGE_PID" ] || return 0
  local status=0
  kill -TERM "$BRIDGE_PID" 2>/dev/null || true
  wait "$BRIDGE_PID" || status=$?
  rel_forget "$BRIDGE_PID"
  BRIDGE_PID=""
  [ "$status" = 0 ] || rel_fail "the bridge ended with status $status after SIGTERM"
}

# Number of start-up records ("AZIONE: IntervalTimer") in the log.
rel_starts() {
  local n
  n=$(grep -ac 'AZIONE: IntervalTimer: ' "$1/NotFiscalError.log" 2>/dev/null) || true
  echo "${n:-0}"
}

# Waits until the bridge has filed its N-th start-up record.
rel_wait_started() {
  local dir=$1 want=$2 tries=0
  while [ "$(rel_starts "$dir")" -lt "$want" ]; do
    if ! kill -0 "$BRIDGE_PID" 2>/dev/null; then
      tail -n 20 "$dir.out" >&2 || true
      rel_fail "the bridge ended during start-up"
    fi
    tries=$((tries + 1))
    [ "$tries" -lt 1200 ] || rel_fail "no start-up record after 60 s"
    rel_sleep 0.05
  done
}

# Eps_Vuoto as stored, read without a fork (running `tessiro config get` or
# a pipe in a polling loop costs process starts each time).
rel_vuoto() {
  local line value=""
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    if [[ $line == Eps_Vuoto=* ]]; then value=${line#Eps_Vuoto=}; break; fi
  done <"$1/_Configurazione.ini"
  echo "$value"
}

# True when folder $1 holds no entry (dot-names included), without a fork.
rel_empty() {
  local entries=("$1"/* "$1"/.[!.]*)
  local e
  for e in "${entries[@]}"; do [ -e "$e" ] && return 1; done
  return 0
}

# Waits until Ostro and IN are empty and the bridge says it is idle.
rel_wait_idle() {
  local dir=$1 tries=0 vuoto
  while :; do
    if rel_empty "$dir/Ostro" && rel_empty "$dir/IN"; then
      vuoto=$(rel_vuoto "$dir")
      [ "$vuoto" = "-1" ] && return 0
    fi
    if [ -n "$BRIDGE_PID" ] && ! kill -0 "$BRIDGE_PID" 2>/dev/null; then
      rel_fail "the bridge ended while files were waiting"
    fi
    tries=$((tries + 1))
    [ "$tries" -lt "${REL_IDLE_TRIES:-3000}" ] || rel_fail "the bridge did not take every file (Ostro: $(ls "$dir/Ostro" | head -3))"
    rel_sleep 0.02
  done
}

rel_drop() {
  local dir=$1 name=$2 body=$3
  printf "%s" "$body" >"$dir/Ostro/.$name.part" || rel_fail "cannot write into $dir/Ostro"
  mv "$dir/Ostro/.$name.part" "$dir/Ostro/$name" || rel_fail "cannot rename in $dir/Ostro"
}

# A fiscal name: 14-character prefix, "COR", the id. Names and bodies are
# made with printf -v: a loaded machine takes tens of milliseconds per fork,
# and the bridge must get files faster than that.
rel_fiscal_name() { printf '20261208%06dCOR%06d.txt' "$((10#$1 % 1000000))" "$((10#$1))"; }
rel_nonfiscal_name() { printf '20261208%06dNOF%06d.txt' "$((10#$1 % 1000000))" "$((10#$1))"; }
rel_marker() { printf 'ID-%06d' "$((10#$1))"; }

# A small fiscal receipt: a sale, the marker as a description, cash payment.
rel_receipt() {
  printf 'F2:1:ARTICOLO:1000:150:1\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$((10#$1))"
}

# A non-fiscal document carrying the marker in its N2 line.
rel_document() {
  printf 'N1:1\r\nN2:1:ID-%06d\r\nN3:1\r\n' "$((10#$1))"
}

# Writes a receipt for ID into folder $2 without a fork; sets REL_NAME.
rel_stage_receipt() {
  printf -v REL_NAME '20261208%06dCOR%06d.txt' "$(($1 % 1000000))" "$1"
  printf 'F2:1:ARTICOLO:1000:150:1\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$1" >"$2/$REL_NAME"
}

# Moves every file staged in $1 into Ostro of $2 at once (rename: whole files).
rel_flush() {
  local staged=("$1"/*)
  [ -e "${staged[0]}" ] || return 0
  # mv may complain about a file the bridge took away right after the
  # rename: what counts is that every file left the staging folder.
  mv "${staged[@]}" "$2/Ostro/" 2>/dev/null
  rel_empty "$1" || rel_fail "cannot move files into $2/Ostro"
}

# The reference a log record uses for a dropped file.
rel_reference() {
  local name=$1
  if [ "${#name}" -gt 14 ] && [ "${name:14:3}" = COR ]; then echo "${name:14}"; else echo "$name"; fi
}

# Accounting over ids given as "id:name" pairs. Every marker appears at most
# once in the trace's calls that carry it and at most once on the paper roll;
# a file whose marker never reached the printer is named in a log record.
# Prints "executed logged" counts on stdout.
rel_account() {
  local dir=$1
  shift
  local trace="$dir/Simulatore/chiamate.log" journal="$dir/Simulatore/giornale.txt"
  local item id name marker calls printed ref executed=0 logged=0 bad=0
  # Both logs once, the records' first fields (references) only.
  local refs="$REL_WORK/refs.txt"
  cat "$dir/FiscalError.log" "$dir/NotFiscalError.log" 2>/dev/null | tr -d '\r' |
    awk -F';' 'NF >= 3 { r = $1; sub(/^(PrinterError|Tessiro_Error): /, "", r); print r }' | sort -u >"$refs"
  # Marker counts in one pass over each file.
  grep -a -o '"ID-[0-9]\{6\}"' "$trace" 2>/dev/null | sort | uniq -c >"$REL_WORK/trace-counts.txt" || true
  grep -a -o 'ID-[0-9]\{6\}' "$journal" 2>/dev/null | sort | uniq -c >"$REL_WORK/journal-counts.txt" || true
  awk '$1 > 1 { print }' "$REL_WORK/trace-counts.txt" >"$REL_WORK/twice.txt"
  if [ -s "$REL_WORK/twice.txt" ]; then
    rel_say "markers sent to the printer more than once:"; head "$REL_WORK/twice.txt" >&2; bad=1
  fi
  awk '$1 > 1 { print }' "$REL_WORK/journal-counts.txt" >"$REL_WORK/twice.txt"
  if [ -s "$REL_WORK/twice.txt" ]; then
    rel_say "markers printed more than once:"; head "$REL_WORK/twice.txt" >&2; bad=1
  fi
  for item in "$@"; do
    id=${item%%:*}
    name=${item#*:}
    marker=$(rel_marker "$id")
    if grep -a -q "\"$marker\"" "$REL_WORK/trace-counts.txt"; then
      executed=$((executed + 1))
    else
      ref=$(rel_reference "$name")
      if grep -aqxF -- "$ref" "$refs"; then
        logged=$((logged + 1))
      else
        rel_say "file $name (marker $marker) neither reached the printer nor is named in a log"
        bad=1
      fi
    fi
  done
  [ "$bad" = 0 ] || return 1
  echo "$executed $logged"
}

# The configuration every script seeds: the bridge's keys, foreign keys in
# its section, foreign sections, comments and blank lines, CR LF.
rel_seed_config() {
  local file=$1 interval=${2:-50}
  printf '%s\r\n' \
    '; Configurazione condivisa: non modificare a mano' \
    '[Generale]' \
    'Negozio=Bottega di prova' \
    'Cassa=2' \
    '' \
    '[Varie]' \
    'Eps_COM=1' \
    'Eps_Setting=9600,N,8,1' \
    'Eps_Delay=1' \
    "intervalTimer=$interval" \
    'Eps_NonRiscIndex=1' \
    'Eps_NonRiscType=1' \
    'Kelmora_DIR=C:\KELMORA\' \
    'PAY_L=0' \
    'DECIMALI=2' \
    'ChiaveEstranea=valore estraneo' \
    '; commento dentro Varie' \
    '' \
    '[Stampanti]' \
    'Modello=FP-90' \
    '; ultima riga' >"$file"
}

# Lines of the seeded file that must survive every write byte for byte: all
# but the bridge's own keys, whose values it may change.
rel_foreign_lines() {
  grep -v -E '^(Eps_COM|Eps_Setting|Eps_Delay|intervalTimer|Eps_NonRiscIndex|Eps_NonRiscType|Kelmora_DIR|PAY_L|Eps_Vuoto|Eps_CodError|Eps_DescError|Kelmora_CORR)=' "$1" | grep -v -x $'\r' || true
}

rel_check_config() {
  local dir=$1 seed=$2 file="$1/_Configurazione.ini" line key missing=0
  while IFS= read -r line; do
    grep -aqxF -- "$line" "$file" || { rel_say "foreign line lost: ${line%$'\r'}"; missing=1; }
  done < <(rel_foreign_lines "$seed")
  for key in Eps_COM Eps_Setting Eps_Delay intervalTimer Eps_NonRiscIndex Eps_NonRiscType Kelmora_DIR PAY_L \
             Eps_Vuoto Eps_CodError Eps_DescError Kelmora_CORR; do
    grep -aq "^$key=" "$file" || { rel_say "key lost: $key"; missing=1; }
  done
  [ "$(grep -ac '^\[Varie\]' "$file")" = 1 ] || { rel_say "section [Varie] not once"; missing=1; }
  [ "$missing" = 0 ]
}

# Entries of the program directory that no part of the bridge should leave.
rel_check_litter() {
  local dir=$1 extra
  extra=$(ls -A "$dir" | grep -v -x -E '_Configurazione\.ini|FiscalError\.log|NotFiscalError\.log|Ostro|IN|Simulatore|\.tessiro\.lock|\.tessiro\.running|Cestino|Log' || true)
  if [ -n "$extra" ]; then
    rel_say "unexpected entries in the program directory: $extra"
    return 1
  fi
}
