#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Concurrent reader: tests/reliability/concurrent-ini.sh [SECONDS] (default 10).
#
# While the real headless bridge writes _Configurazione.ini (Eps_Vuoto flips
# to "0" and back at every batch of files, which a dropper feeds without
# pause) and `tessiro config set` writes keys of two sections in a loop, the
# helper reliability_ini_reader reads the file in a tight loop and checks
# that every read is whole: all seeded keys and foreign lines are there.
# The loop also checks that no write is lost: the value `config set` wrote
# is still there when read back, after the bridge's own writes.
set -u
RELIABILITY_NAME=concurrent-ini
source "$(dirname "$0")/common.sh"

seconds=${1:-10}
READER=${RELIABILITY_INI_READER:-$(dirname "$TESSIRO_BIN")/tests/reliability/reliability_ini_reader}
rel_need_binary
[ -x "$READER" ] || rel_fail "no reader at $READER (build reliability_ini_reader or set RELIABILITY_INI_READER)"
rel_workdir
dir="$REL_WORK/prog"
mkdir -p "$dir/Ostro"
rel_seed_config "$dir/_Configurazione.ini" 10
config="$dir/_Configurazione.ini"
"$TESSIRO_BIN" config set --dir "$dir" --section Varie Contatore 0 || rel_fail "config set"
"$TESSIRO_BIN" config set --dir "$dir" --section Stampanti Turno 0 || rel_fail "config set"

rel_start_bridge "$dir"
rel_wait_started "$dir" 1
# The start-up record comes before the start-up writes the keys it clears
# (Eps_CodError, Eps_DescError, Kelmora_CORR): the reader looks for them, so
# it starts once the start-up has ended with Eps_Vuoto=-1.
rel_wait_idle "$dir"

# The dropper: receipts without pause, so the bridge keeps writing Eps_Vuoto.
(
  id=1
  end=$((SECONDS + seconds))
  while [ "$SECONDS" -lt "$end" ]; do
    rel_drop "$dir" "$(rel_fiscal_name "$id")" "$(rel_receipt "$id")"
    id=$((id + 1))
    # Keeps a few files waiting, no more.
    while [ "$(ls "$dir/Ostro" | wc -l)" -gt 3 ] && [ "$SECONDS" -lt "$end" ]; do sleep 0.01; done
  done
  echo "$((id - 1))" >"$REL_WORK/dropped"
) &
REL_PIDS+=("$!")
dropper=$!

"$READER" "$config" "$seconds" Eps_Vuoto Eps_COM Eps_Setting Eps_Delay intervalTimer Kelmora_CORR \
  Eps_CodError Eps_DescError Kelmora_DIR PAY_L DECIMALI ChiaveEstranea Contatore Stampanti.Turno Generale.Negozio \
  >"$REL_WORK/reader.out" 2>&1 &
REL_PIDS+=("$!")
reader=$!

sets=0
lost=0
end=$((SECONDS + seconds))
while [ "$SECONDS" -lt "$end" ]; do
  sets=$((sets + 1))
  "$TESSIRO_BIN" config set --dir "$dir" --section Varie Contatore "$sets" || rel_fail "config set failed"
  "$TESSIRO_BIN" config set --dir "$dir" --section Stampanti Turno "$sets" || rel_fail "config set failed"
  sleep 0.02
  # Any bridge write since then started from a file that held the new value.
  got=$("$TESSIRO_BIN" config get --dir "$dir" --section Varie Contatore '')
  [ "$got" = "$sets" ] || { lost=$((lost + 1)); rel_say "write lost: Contatore=$sets read back as '$got'"; }
done

reader_status=0
wait "$reader" || reader_status=$?
rel_forget "$reader"
wait "$dropper" || true
rel_forget "$dropper"
rel_wait_idle "$dir"
rel_stop_bridge
cat "$REL_WORK/reader.out" >&2
[ "$reader_status" = 0 ] || rel_fail "the reader saw a torn or incomplete file"
[ "$lost" = 0 ] || rel_fail "$lost writes of config set were lost to the bridge's writes"
echo "concurrent-ini: PASS seconds=$seconds $(tr '\n' ' ' <"$REL_WORK/reader.out")config-sets=$((sets * 2))" \
  "files=$(cat "$REL_WORK/dropped" 2>/dev/null || echo '?')"
