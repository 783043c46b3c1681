#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Kill test: tests/reliability/kill.sh [ROUNDS] (default 6).
#
# Runs the real `tessiro --headless` on a scratch program directory, drops a
# stream of fiscal receipts (each with a unique marker ID-nnnnnn on its F5
# line and a back-office style name, 14-character prefix + "COR"), kills the
# bridge with SIGKILL at random moments (during start-up, between files, in
# the middle of a receipt), restarts it, round after round. Then checks:
#   - no marker reached the printer twice (trace) or was printed twice (roll);
#   - every dropped file is accounted for: its marker is in the trace, or its
#     name is in a log record (failed, interrupted);
#   - no file is discarded at start-up: the files waiting their turn when the
#     bridge was killed print after the restart;
#   - _Configurazione.ini still holds every key and every foreign line;
#   - the simulator's roll, receipt by receipt: no receipt holds the items of
#     two files, no receipt number is closed twice, no receipt is left open
#     after the last recovery, no file is paid twice, and a file whose receipt
#     was voided is named in its log as interrupted;
#   - no temporary file is left in the program directory;
#   - a last bridge takes a last file, ends up idle (Eps_Vuoto -1) and ends
#     cleanly on SIGTERM.
# RANDOM_SEED fixes the random moments; TESSIRO_BIN picks the binary.
set -u
RELIABILITY_NAME=kill
source "$(dirname "$0")/common.sh"

rounds=${1:-6}
seed=${RANDOM_SEED:-$$}
RANDOM=$seed
rel_need_binary
rel_workdir
dir="$REL_WORK/prog"
mkdir -p "$dir/Ostro"
rel_seed_config "$dir/_Configurazione.ini" 20
cp "$dir/_Configurazione.ini" "$REL_WORK/seed.ini"
rel_say "rounds=$rounds seed=$seed binary=$TESSIRO_BIN"

next_id=1
dropped=()
stage="$REL_WORK/stage"
mkdir -p "$stage"
drop_one() {
  rel_stage_receipt "$next_id" "$stage"
  dropped+=("$next_id:$REL_NAME")
  next_id=$((next_id + 1))
}

# A pause of 0 to $1 milliseconds.
pause_ms() { local ms; printf -v ms '0.%03d' "$((RANDOM % ($1 + 1)))"; rel_sleep "$ms"; }

starts=0
for ((round = 1; round <= rounds; round++)); do
  # Files waiting before the bridge starts, so some are taken at once.
  for ((k = RANDOM % 6; k > 0; k--)); do drop_one; done
  rel_flush "$stage" "$dir"
  rel_start_bridge "$dir"
  starts=$((starts + 1))
  # Some rounds die during start-up, the others in the middle of a burst
  # of files (a burst takes the bridge a few hundred milliseconds).
  if ((RANDOM % 4 == 0)); then
    pause_ms 300
  else
    rel_wait_started "$dir" "$starts"
    for ((k = 5 + RANDOM % 40; k > 0; k--)); do drop_one; done
    rel_flush "$stage" "$dir"
    pause_ms 600
  fi
  rel_kill_bridge
  # A killed start-up may not have filed its record: count what is there.
  starts=$(rel_starts "$dir")
done

# The bridge must come back, take a last file and settle idle.
rel_start_bridge "$dir"
rel_wait_started "$dir" $((starts + 1))
drop_one
rel_flush "$stage" "$dir"
last=${dropped[${#dropped[@]} - 1]}
rel_wait_idle "$dir"
grep -aq "\"$(rel_marker "${last%%:*}")\"" "$dir/Simulatore/chiamate.log" || rel_fail "the last file did not run"
rel_stop_bridge

counts=$(rel_account "$dir" "${dropped[@]}") || rel_fail "accounting"
rel_check_config "$dir" "$REL_WORK/seed.ini" || rel_fail "configuration damaged"
rel_check_litter "$dir" || rel_fail "litter"
[ "$("$TESSIRO_BIN" config get --dir "$dir" --section Varie Eps_Vuoto x)" = -1 ] || rel_fail "Eps_Vuoto is not -1 at the end"
discarded=$(grep -ac "File scartato all'avvio" "$dir/FiscalError.log" 2>/dev/null || true)
[ "${discarded:-0}" -eq 0 ] || rel_fail "$discarded files were discarded at start-up instead of printed after it"
read -r executed logged <<<"$counts"
# The roll cut into documents: each begins at a rule of "=" and ends at its
# numbered last line. Prints one line per problem, then "paid ID" and
# "voided ID" lines for the markers of each receipt. A document cut short by
# the next one's rule is "torn": the simulator, which runs inside the killed
# process, appends to its roll before it stores its state, so a kill between
# the two leaves printed lines that its state (the printer's memory) never
# held. A real printer keeps its own memory; the count is shown, not failed.
roll="$REL_WORK/roll.txt"
awk '
  function flush_ids(kind,   id) { for (id in ids) print kind, id }
  /^=+$/ { if (open) print "torn"; open = 1; split("", ids); n = 0; voided = 0; next }
  !open { next }
  {
    line = $0
    while (match(line, /ID-[0-9][0-9][0-9][0-9][0-9][0-9]/)) {
      id = substr(line, RSTART, RLENGTH)
      if (!(id in ids)) { ids[id] = 1; n++ }
      line = substr(line, RSTART + RLENGTH)
    }
  }
  /SCONTRINO ANNULLATO/ { voided = 1 }
  /^(SCONTRINO N\.|NON FISCALE N\.|CHIUSURA N\.)/ {
    if (n > 1) print "PROBLEM a receipt holds the items of " n " files: " $0
    if ($0 ~ /^SCONTRINO N\./) {
      number = substr($0, 1, 17)
      if (number in closed) print "PROBLEM receipt closed twice: " number
      closed[number] = 1
      flush_ids(voided ? "voided" : "paid")
    }
    open = 0
  }
  END { if (open) print "PROBLEM a receipt is left open on the printer" }
' "$dir/Simulatore/giornale.txt" >"$roll"
if grep -q '^PROBLEM' "$roll"; then
  grep '^PROBLEM' "$roll" | head >&2
  rel_fail "the roll"
fi
paid_twice=$(awk '$1 == "paid" { print $2 }' "$roll" | sort | uniq -d | head -3)
[ -z "$paid_twice" ] || rel_fail "paid twice: $paid_twice"
voided_ids=$(awk '$1 == "voided" { print $2 }' "$roll" | sort -u)
for marker in $voided_ids; do
  id=$((10#${marker#ID-}))
  ref=$(rel_reference "$(rel_fiscal_name "$id")")
  grep -aqF -- "$ref;" "$dir/FiscalError.log" || rel_fail "receipt of $marker voided, yet its file is named in no record"
  grep -a -F -- "$ref;" "$dir/FiscalError.log" | grep -aq 'interrott' ||
    rel_fail "receipt of $marker voided, yet no record says its file was interrupted"
done
voided=$(printf '%s\n' $voided_ids | grep -c . || true)
interrupted=$(grep -ac 'File interrotto\|interrotto al pagamento' "$dir/FiscalError.log" 2>/dev/null || true)
echo "kill: PASS rounds=$rounds files=${#dropped[@]} executed=$executed only-logged=$logged" \
  "discarded-at-start=${discarded:-0} interrupted=${interrupted:-0} voided=$voided" \
  "receipts=$(grep -ac '^SCONTRINO N\.' "$dir/Simulatore/giornale.txt") torn-by-the-simulator=$(grep -c '^torn' "$roll" || true)"
