#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program in an Italian shop's locale, where the decimal sign is a comma
# (tessiro adopts the user's locale at start, for the system's messages):
# `tessiro check` on the examples prints the same calls under it_IT.UTF-8 as
# under C.UTF-8, and the real headless bridge, run over the examples once in
# each locale, makes the same printer calls and prints the same paper roll
# on the simulated printer, with no error record.
#
# Usage: italian-locale.sh PATH/TO/tessiro PATH/TO/examples
# Skips (SKIPPED:) when the machine has no it_IT.UTF-8 locale; test.sh
# generates it where it runs as root or with sudo.
set -uo pipefail

tessiro="${1:?usage: italian-locale.sh PATH/TO/tessiro PATH/TO/examples}"
examples="${2:?usage: italian-locale.sh PATH/TO/tessiro PATH/TO/examples}"
source "$(dirname "$0")/common.sh"
e2e_single_bridge locale

if ! locale -a 2>/dev/null | grep -qix 'it_IT\.utf-\?8'; then
  echo "SKIPPED: no it_IT.UTF-8 locale on this machine"
  exit 0
fi
unset LANG LANGUAGE LC_NUMERIC LC_MESSAGES
export QT_QPA_PLATFORM=offscreen

# 1. The dry run prints amounts, quantities and prices the same way.
for loc in C.UTF-8 it_IT.UTF-8; do
  LC_ALL=$loc "$tessiro" check "$examples"/2*.txt >"$work/check.$loc" 2>&1 ||
    fail "tessiro check refuses an example under $loc: $(cat "$work/check.$loc")"
done
diff -u "$work/check.C.UTF-8" "$work/check.it_IT.UTF-8" >&2 ||
  fail "tessiro check prints differently under it_IT.UTF-8"
grep -qF '2.5000' "$work/check.it_IT.UTF-8" || fail "no amount with a decimal point in the check's output"

# 2. The bridge itself, over every example, in each locale.
for loc in C.UTF-8 it_IT.UTF-8; do
  prog="$work/$loc"
  "$tessiro" init --dir "$prog" >/dev/null || fail "init failed under $loc"
  LC_ALL=$loc "$tessiro" --headless --dir "$prog" 2>"$work/bridge.$loc.log" &
  bridge=$!
  wait_for 20 "$tessiro" ctl --dir "$prog" stato || fail "the bridge under $loc did not answer"
  for example in "$examples"/2*.txt; do
    name=$(basename "$example")
    cp "$example" "$prog/Ostro/.$name"
    mv "$prog/Ostro/.$name" "$prog/Ostro/$name"
    wait_for 20 bash -c "[ ! -e '$prog/Ostro/$name' ] && [ ! -e '$prog/IN/$name' ]" ||
      fail "$name was not run under $loc"
  done
  wait_for 20 bash -c "[ \"\$('$tessiro' config get --dir '$prog' Eps_Vuoto)\" = -1 ]" ||
    fail "the bridge under $loc did not come back to idle"
  kill -TERM "$bridge"
  wait "$bridge"
  status=$?
  bridge=""
  [ "$status" = 0 ] || fail "the bridge under $loc ended with status $status: $(cat "$work/bridge.$loc.log")"
  for log in FiscalError.log NotFiscalError.log; do
    ! grep -qs -e 'Tessiro_Error' -e 'PrinterError' "$prog/$log" ||
      fail "an example failed under $loc: $(cat "$prog/$log")"
  done
  # The roll's receipts carry the minute they were printed.
  sed -E 's/[0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}/DATE TIME/' "$prog/Simulatore/giornale.txt" >"$work/roll.$loc"
done
diff -u "$work/C.UTF-8/Simulatore/chiamate.log" "$work/it_IT.UTF-8/Simulatore/chiamate.log" >&2 ||
  fail "the bridge called the printer differently under it_IT.UTF-8"
diff -u "$work/roll.C.UTF-8" "$work/roll.it_IT.UTF-8" >&2 ||
  fail "the paper roll differs under it_IT.UTF-8"
grep -qF 'TOTALE EURO                         4,58' "$work/roll.it_IT.UTF-8" ||
  fail "the first receipt's total is not 4,58: $(cat "$work/roll.it_IT.UTF-8")"
echo "it_IT.UTF-8: the same calls and the same roll as C.UTF-8 ($(grep -c 'SCONTRINO N\.' "$work/roll.it_IT.UTF-8") receipts)"
