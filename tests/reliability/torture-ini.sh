#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configuration torture: tests/reliability/torture-ini.sh [REWRITES] (default
# 100000 per way).
#
# The real headless bridge takes receipts without pause (so it writes
# Eps_Vuoto at every batch) while reliability_ini_rewriter updates its own
# key in _Configurazione.ini the way the back-office does, in place and as
# fast as it can: REWRITES times truncating then writing, then REWRITES
# times writing then cutting to length. The rewriter writes back whatever it
# read, so a wipe by the bridge stays. At the end every key and every
# foreign line of the seeded file must be there, and the rewriter's key too.
set -u
RELIABILITY_NAME=torture-ini
source "$(dirname "$0")/common.sh"

rewrites=${1:-100000}
REWRITER=${RELIABILITY_INI_REWRITER:-$(dirname "$TESSIRO_BIN")/tests/reliability/reliability_ini_rewriter}
# In memory when it can: ext4 writes a file truncated and written again out
# to disk at its close, which makes every rewrite wait for the disk and the
# race far rarer than the rewriter's pace would make it.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
rel_need_binary
[ -x "$REWRITER" ] || rel_fail "no rewriter at $REWRITER (build reliability_ini_rewriter or set RELIABILITY_INI_REWRITER)"
rel_workdir
dir="$REL_WORK/prog"
mkdir -p "$dir/Ostro"
rel_seed_config "$dir/_Configurazione.ini" 20
printf '%s\r\n' '[Gestionale]' >>"$dir/_Configurazione.ini"
# The rewriter's own key changes value: checked apart from the foreign lines.
cp "$dir/_Configurazione.ini" "$REL_WORK/seed.ini"
printf '%s\r\n' 'Turno=0' >>"$dir/_Configurazione.ini"
config="$dir/_Configurazione.ini"

rel_start_bridge "$dir"
rel_wait_started "$dir" 1

(
  id=1
  while :; do
    rel_drop "$dir" "$(rel_fiscal_name "$id")" "$(rel_receipt "$id")"
    id=$((id + 1))
    while [ "$(ls "$dir/Ostro" | wc -l)" -gt 3 ] && [ ! -e "$REL_WORK/stop" ]; do rel_sleep 0.01; done
    [ -e "$REL_WORK/stop" ] && break
  done
  echo "$((id - 1))" >"$REL_WORK/dropped"
) &
REL_PIDS+=("$!")
dropper=$!

summary=""
for way in truncate overwrite; do
  out=$("$REWRITER" "$config" "$rewrites" "$way" Turno) || rel_fail "the rewriter failed"
  summary+="$way:${out#rewrites=} "
  grep -aq '^Turno=' "$config" || rel_fail "the back-office's key Turno is gone after the $way rewrites"
  rel_check_config "$dir" "$REL_WORK/seed.ini" || {
    cp "$config" "$REL_WORK/damaged.ini"
    rel_fail "configuration damaged during the $way rewrites (kept as damaged.ini)"
  }
done
touch "$REL_WORK/stop"
wait "$dropper" || true
rel_forget "$dropper"
# The rewriter writes back the text it read, Eps_Vuoto included: a text read
# during a batch puts back "0" after the bridge wrote "-1", and the bridge
# then rightly stays paused. The operator's way out, as after any pause:
"$TESSIRO_BIN" config set --dir "$dir" --section Varie Eps_Vuoto -1 || rel_fail "config set"
rel_wait_idle "$dir"
rel_stop_bridge
grep -aq '^Turno=' "$config" || rel_fail "the back-office's key Turno is gone"
rel_check_config "$dir" "$REL_WORK/seed.ini" || rel_fail "configuration damaged"
gaveup=$(grep -ac 'gave up writing' "$dir.out" 2>/dev/null || true)
echo "torture-ini: PASS rewrites ${summary}files=$(cat "$REL_WORK/dropped") writes-given-up=${gaveup:-0}"
