#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Simulator kill test: tests/reliability/sim-kill.sh [RECEIPTS] (default 300).
#
# The real headless bridge takes fiscal receipts from the drop folder and is
# killed with SIGKILL at random instants (RANDOM_SEED fixes them), restarted,
# again and again until RECEIPTS files were dropped. Then a last bridge takes
# a last receipt and stops, and the simulated printer's roll is checked
# against its state (Simulatore/giornale.txt, stato.ini):
#   - no receipt number printed closed (paid or voided) twice;
#   - every receipt header followed by its closing or its void, none open;
#   - the counters equal what the roll shows: receipts opened, paid, voided,
#     the grand total, and the roll's length.
# As root it also runs on a small tmpfs that fills up under the bridge, is
# freed again, and must then pass the same check (skipped otherwise).
set -u
RELIABILITY_NAME=sim-kill
source "$(dirname "$0")/common.sh"

total=${1:-300}
seed=${RANDOM_SEED:-$$}
RANDOM=$seed
rel_need_binary
rel_workdir
rel_say "receipts=$total seed=$seed binary=$TESSIRO_BIN"

# A value of stato.ini: section, key.
state_value() {
  awk -v s="[$2]" -v k="$3" -F= '/^\[/ { cur = $0; next } cur == s && $1 == k { print substr($0, length(k) + 2); exit }' \
    "$1/Simulatore/stato.ini"
}

# Reads the roll, prints "opened paid voided total-in-cents" or fails.
check_roll() {
  local dir=$1 roll="$1/Simulatore/giornale.txt"
  awk '
    function fail(msg) { print "roll line " NR ": " msg > "/dev/stderr"; bad = 1 }
    function cents(s) { gsub(/\./, "", s); sub(/,/, ".", s); return int(s * 100 + (s < 0 ? -0.5 : 0.5)) }
    /^ +TESSIRO$/ { if (open) fail("a header while receipt " open " is still open"); open = "?"; kind = "f"; next }
    /^ +DOCUMENTO NON FISCALE$/ { kind = "n"; next }
    /^\*\*\* SCONTRINO ANNULLATO \*\*\*$/ || /^ +\*\*\* SCONTRINO ANNULLATO \*\*\*$/ { voiding = 1; next }
    /^TOTALE EURO / { n = split($0, f, " "); due = cents(f[n]) }
    /^SCONTRINO N\. [0-9]+/ {
      num = $3
      if (!open || kind != "f") fail("closing of " num " with no receipt open")
      if (num in closed) fail("receipt " num " closed twice")
      closed[num] = 1
      if (voiding) voided++; else { paid++; total += due }
      open = ""; voiding = 0; due = 0; next
    }
    /^NON FISCALE N\./ { open = ""; next }
    /^ +CHIUSURA FISCALE/ { if (open) fail("closure with a receipt open") }
    END {
      if (open) fail("the roll ends inside a receipt")
      if (bad) exit 1
      print length(closed) + 0, paid + 0, voided + 0, total + 0
    }' "$roll"
  # Headers count the receipts opened: the closings check above pairs them.
}

check_agreement() {
  local dir=$1 numbers opened paid voided total
  numbers=$(check_roll "$dir") || return 1
  read -r opened paid voided total <<<"$numbers"
  local headers
  headers=$(grep -ac '^ *TESSIRO$' "$dir/Simulatore/giornale.txt")
  local s_last s_paid s_voided s_grand s_length s_open size
  s_last=$(state_value "$dir" Stampante UltimoScontrino)
  s_paid=$(state_value "$dir" Giorno Scontrini)
  s_voided=$(state_value "$dir" Giorno Annullati)
  s_grand=$(state_value "$dir" Stampante GranTotale)
  s_length=$(state_value "$dir" Giornale Lunghezza)
  s_open=$(state_value "$dir" Scontrino Stato)
  size=$(stat -c %s "$dir/Simulatore/giornale.txt")
  local bad=0
  [ "$s_open" = nessuno ] || { rel_say "a receipt is still open in the state: $s_open"; bad=1; }
  [ "$s_last" = "$headers" ] || { rel_say "state counts $s_last receipts opened, the roll shows $headers"; bad=1; }
  [ "$s_last" = "$opened" ] || { rel_say "state counts $s_last receipts opened, the roll closes $opened"; bad=1; }
  [ "$s_paid" = "$paid" ] || { rel_say "state counts $s_paid receipts paid, the roll shows $paid"; bad=1; }
  [ "$s_voided" = "$voided" ] || { rel_say "state counts $s_voided voids, the roll shows $voided"; bad=1; }
  [ "$(awk -v g="$s_grand" 'BEGIN { printf "%d", g * 100 + 0.5 }')" = "$total" ] ||
    { rel_say "grand total $s_grand, the roll's paid totals make $total cents"; bad=1; }
  [ "$s_length" = "$size" ] || { rel_say "state accounts for $s_length bytes of roll, the roll has $size"; bad=1; }
  [ "$bad" = 0 ] || return 1
  echo "opened=$opened paid=$paid voided=$voided"
}

pause_ms() { local ms; printf -v ms '0.%03d' "$((RANDOM % ($1 + 1)))"; rel_sleep "$ms"; }

# Rounds of drop, random kill and restart until $2 receipts were dropped.
kill_rounds() {
  local dir=$1 want=$2 stage="$REL_WORK/stage" id=${3:-1} kills=0
  mkdir -p "$stage"
  while [ "$id" -le "$want" ]; do
    rel_start_bridge "$dir"
    local k
    for ((k = 1 + RANDOM % 20; k > 0 && id <= want; k--)); do rel_stage_receipt "$id" "$stage"; id=$((id + 1)); done
    rel_flush "$stage" "$dir"
    pause_ms 700
    rel_kill_bridge
    kills=$((kills + 1))
  done
  NEXT_ID=$id
  KILLS=$kills
}

# A last bridge settles what the killed ones left and takes one more receipt.
settle() {
  local dir=$1 stage="$REL_WORK/stage"
  rel_start_bridge "$dir"
  rel_stage_receipt "$NEXT_ID" "$stage"
  rel_flush "$stage" "$dir"
  rel_wait_idle "$dir"
  rel_stop_bridge
}

dir="$REL_WORK/prog"
mkdir -p "$dir/Ostro"
rel_seed_config "$dir/_Configurazione.ini" 20
kill_rounds "$dir" "$total"
settle "$dir"
result=$(check_agreement "$dir") || rel_fail "roll and state disagree after $KILLS kills (work folder: see above)"
summary="kills=$KILLS $result"

# The same on a disk that fills up while the bridge prints.
disk="SKIPPED (needs root for a tmpfs)"
if [ "$(id -u)" = 0 ]; then
  mnt="$REL_WORK/disk"
  mkdir -p "$mnt"
  if mount -t tmpfs -o size=1m tessiro-sim-kill "$mnt"; then
    REL_CLEANUP_EXTRA="umount '$mnt'"
    fdir="$mnt/prog"
    mkdir -p "$fdir/Ostro"
    rel_seed_config "$fdir/_Configurazione.ini" 20
    stage="$REL_WORK/stage"
    rel_start_bridge "$fdir"
    rel_wait_started "$fdir" 1
    for ((id = 1; id <= 20; id++)); do rel_stage_receipt "$id" "$stage"; done
    rel_flush "$stage" "$fdir"
    rel_wait_idle "$fdir"
    # Staged on the same disk before it is full: moving them in needs no room.
    mkdir -p "$mnt/stage"
    for ((id = 21; id <= 60; id++)); do rel_stage_receipt "$id" "$mnt/stage"; done
    dd if=/dev/zero of="$mnt/filler" bs=4k 2>/dev/null || true
    rel_flush "$mnt/stage" "$fdir"
    tries=0
    while ! { rel_empty "$fdir/Ostro" && rel_empty "$fdir/IN"; }; do
      tries=$((tries + 1)); [ "$tries" -lt 1500 ] || rel_fail "the bridge did not take the files on the full disk"
      rel_sleep 0.02
    done
    pause_ms 300
    rel_kill_bridge
    refused=$(grep -ac ') -> 9$' "$fdir/Simulatore/chiamate.log" || true)
    [ "${refused:-0}" -gt 0 ] || rel_fail "no call met the full disk (nothing answered 9)"
    rm -f "$mnt/filler"
    NEXT_ID=61
    kill_rounds "$fdir" 120 61
    settle "$fdir"
    fresult=$(check_agreement "$fdir") || rel_fail "roll and state disagree after the full disk"
    disk="full-disk: calls-refused=$refused $fresult"
    umount "$mnt"
    REL_CLEANUP_EXTRA=""
  else
    disk="SKIPPED (tmpfs mount refused)"
  fi
fi
echo "sim-kill: PASS $summary; $disk"
