#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The headless bridge under valgrind: tests/reliability/valgrind.sh [FILES]
# (default 6). Runs `tessiro --headless` (TESSIRO_BIN, a build without
# sanitizers; skipped for a sanitized one) under memcheck with --leak-check=full and --error-exitcode=1,
# drops FILES command files (receipts, a non-fiscal document, a display
# message, failing files, each failure followed by the recovery through
# `tessiro ctl`), waits for them, ends the bridge with SIGTERM and
# fails on any memcheck error or definite leak. valgrind.supp holds the
# one-time allocations of Qt and glibc that are not the bridge's.
set -u
RELIABILITY_NAME=valgrind
source "$(dirname "$0")/common.sh"

files=${1:-6}
rel_need_binary
if ! command -v valgrind >/dev/null; then
  # Debian's package, as the build's own dependencies are installed.
  (source "$REL_ROOT/scripts/deps.sh" && install_deps valgrind) >&2 || true
fi
if ! command -v valgrind >/dev/null; then
  echo "valgrind: SKIPPED: valgrind is not installed (apt-get install --no-install-recommends valgrind)" >&2
  exit 0
fi
if ldd "$TESSIRO_BIN" | grep -q libasan; then
  echo "valgrind: SKIPPED: $TESSIRO_BIN is built with sanitizers" >&2
  exit 0
fi
rel_workdir
dir="$REL_WORK/prog"
mkdir -p "$dir/Ostro"
rel_seed_config "$dir/_Configurazione.ini" 100

valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
  --track-fds=no --num-callers=30 --suppressions="$REL_HERE/valgrind.supp" --log-file="$REL_WORK/memcheck.txt" \
  "$TESSIRO_BIN" --headless --dir "$dir" >>"$dir.out" 2>&1 &
BRIDGE_PID=$!
REL_PIDS+=("$BRIDGE_PID")
tries=0
until [ "$(rel_starts "$dir")" -ge 1 ]; do
  kill -0 "$BRIDGE_PID" 2>/dev/null || { cat "$REL_WORK/memcheck.txt" >&2; rel_fail "the bridge ended during start-up"; }
  tries=$((tries + 1)); [ "$tries" -lt 1200 ] || rel_fail "no start-up record after 120 s"
  sleep 0.1
done

dropped=()
recoveries=0
for ((id = 1; id <= files; id++)); do
  case $((id % 6)) in
    1 | 2) name=$(rel_fiscal_name "$id"); body=$(rel_receipt "$id") ;;
    3) name=$(rel_nonfiscal_name "$id"); body=$(rel_document "$id") ;;
    4) name="20261208000000display$id.txt"; body=$(printf 'D1:1:%s\r\n' "$(rel_marker "$id")") ;;
    5) name=$(rel_fiscal_name "$id"); body=$(printf 'F2:1:ARTICOLO:1000:x:1\r\nF5:1:%s\r\n' "$(rel_marker "$id")") ;;
    0) name=$(rel_fiscal_name "$id"); body=$(printf 'F2:1:ARTICOLO:1000:150:0\r\nF5:1:%s\r\nF4:0:0:150:1\r\n' "$(rel_marker "$id")") ;;
  esac
  rel_drop "$dir" "$name" "$body"
  dropped+=("$id:$name")
  REL_IDLE_TRIES=2400 rel_wait_idle "$dir"
  # A failure leaves the error state standing: the operator's recovery
  # through `tessiro ctl`, so the next files run (and the recovery commands
  # run under memcheck too).
  if "$TESSIRO_BIN" ctl --dir "$dir" stato 2>/dev/null | grep -aq '^error-state: yes'; then
    "$TESSIRO_BIN" ctl --dir "$dir" annulla-scontrino >>"$dir.ctl" 2>&1 || true
    "$TESSIRO_BIN" ctl --dir "$dir" nascondi >>"$dir.ctl" 2>&1 || rel_fail "tessiro ctl nascondi failed"
    recoveries=$((recoveries + 1))
  fi
done

status=0
kill -TERM "$BRIDGE_PID"
wait "$BRIDGE_PID" || status=$?
rel_forget "$BRIDGE_PID"
BRIDGE_PID=""
counts=$(rel_account "$dir" "${dropped[@]}") || rel_fail "accounting"
summary=$(grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost' "$REL_WORK/memcheck.txt" | sed 's/^==[0-9]*== *//' | tr '\n' ';')
if [ "$status" != 0 ]; then
  cat "$REL_WORK/memcheck.txt" >&2
  rel_fail "memcheck reported errors (status $status): $summary"
fi
read -r executed logged <<<"$counts"
echo "valgrind: PASS files=$files executed=$executed only-logged=$logged recoveries=$recoveries $summary"
