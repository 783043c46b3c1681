#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Soak with faults: tests/reliability/soak.sh [FILES] (default 150).
#
# Drops FILES command files into the real `tessiro --headless`, valid and
# invalid, in batches, while Simulatore/guasti.ini injects printer faults.
#
# Warm-up (a fifth of the files): faults that leave no error standing (busy
# reads, error codes on the customer display, events on and off); files:
# receipts, non-fiscal documents, display messages (failing ones included),
# files that hold no command. Then VmRSS and the open descriptors of the
# bridge (/proc/PID/status, /proc/PID/fd) are sampled, idle.
#
# Faults (the rest): every fault at random (busy, paper end, an error code on
# a random operation, a port that fails to open, events off), invalid content
# (bad and absurd numbers, NUL bytes, windows-1252 and invalid UTF-8 bytes,
# no line ends, over-long records, records out of order), odd names (blanks,
# shell metacharacters, quotes, 8-bit bytes). After each batch `tessiro ctl
# stato` tells whether the error state stands; when it does, the operator's
# recovery is applied through `tessiro ctl`, as from the window's buttons:
# the faults are taken away (paper loaded, printer repaired), then
# fine-carta (paper-end recovery and void of an open receipt), chiudi-nf
# (close of an open non-fiscal document) and nascondi (clears the error
# state, as the window's hide button); then stato must say no error stands.
# One bridge process lives through the whole run.
#
# At the end, idle again: RSS must not exceed the warm-up sample by more
# than RSS_SLACK_KB (default 4096) and the descriptor count must be the same;
# the accounting of kill.sh (nothing ran twice, every file is accounted for;
# files that hold no command are only checked to be gone), the configuration
# intact, no litter, the bridge idle.
set -u
RELIABILITY_NAME=soak
source "$(dirname "$0")/common.sh"

files=${1:-150}
seed=${RANDOM_SEED:-$$}
RANDOM=$seed
slack_kb=${RSS_SLACK_KB:-4096}
rel_need_binary
rel_workdir
dir="$REL_WORK/prog"
mkdir -p "$dir/Simulatore" "$dir/Ostro"
stage="$REL_WORK/stage"
mkdir -p "$stage"
rel_seed_config "$dir/_Configurazione.ini" 20
cp "$dir/_Configurazione.ini" "$REL_WORK/seed.ini"
rel_say "files=$files seed=$seed binary=$TESSIRO_BIN"

next_id=1
accounted=()   # id:name of files that carry a marker
silent=()      # names of files that hold no command
faults_injected=0
recoveries=0
declare -A fault_kinds=()

# Writes guasti.ini in one step (the simulator re-reads it when it changes).
set_faults() {
  printf '[Guasti]\r\n' >"$REL_WORK/guasti.part"
  local line
  for line in "$@"; do printf '%s\r\n' "$line" >>"$REL_WORK/guasti.part"; done
  mv "$REL_WORK/guasti.part" "$dir/Simulatore/guasti.ini"
  if [ "$#" -gt 0 ]; then
    faults_injected=$((faults_injected + 1))
    fault_kinds[${1%%=*}]=$((${fault_kinds[${1%%=*}]:-0} + 1))
  fi
}

operations=(SellDept SellDeptQty AddDescription PayCash PayTender PayCard OpenNonFiscal NonFiscalLine
            CloseNonFiscal DisplayText SubtotalDiscount)

random_faults() {
  case $((RANDOM % 8)) in
    0 | 1) set_faults ;;
    2) set_faults "Occupato=$((1 + RANDOM % 6))" ;;
    3) set_faults "FineCarta=1" ;;
    4 | 5) set_faults "${operations[RANDOM % ${#operations[@]}]}=$((2 + RANDOM % 90))" "Evento=$((RANDOM % 2))" ;;
    6) set_faults "OpenPort=Porta guasta (prova)" ;;
    7) set_faults "Occupato=$((1 + RANDOM % 3))" "Evento=0" ;;
  esac
}

steady_faults() {
  case $((RANDOM % 4)) in
    0) set_faults ;;
    1) set_faults "Occupato=$((1 + RANDOM % 6))" ;;
    2) set_faults "DisplayText=$((2 + RANDOM % 90))" ;;
    3) set_faults "DisplayText=$((2 + RANDOM % 90))" "Evento=0" ;;
  esac
}

# Names: the back-office's (prefix + kind) and, in phase 2, odd ones. Sets
# NAME without a fork (forks are slow on a loaded machine).
name_for() {
  local id=$1 kind=$2 odd=${3:-0} tail
  printf -v tail '%06d' "$id"
  if [ "$odd" = 1 ]; then
    case $((RANDOM % 4)) in
      0) tail="$tail con spazi" ;;
      1) tail="$tail \$(touch PWNED) \`id\` & | > <" ;;
      2) tail="$tail *?[a] 'q' \"dq\"" ;;
      3) tail="$tail "$'\xe8\x80' ;;
    esac
  fi
  printf -v NAME '20261208%06d%s%s.txt' "$((id % 1000000))" "$kind" "$tail"
}

# Writes the file into the staging folder; batch() moves a whole batch into
# Ostro with one rename each (files appear whole, as the back-office's do).
drop_file() { # generator and its arguments; the name is in NAME
  "$@" >"$stage/$NAME" || rel_fail "cannot write $NAME"
}

m() { printf 'ID-%06d' "$1"; }
gen_receipt() { printf 'F2:1:ARTICOLO:1000:150:1\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$1"; }
gen_document() { printf 'N1:1\r\nN2:1:ID-%06d\r\nN3:1\r\n' "$1"; }
gen_display() { printf 'D1:1:ID-%06d\r\n' "$1"; }
gen_display_bad() { printf 'D1:x:ID-%06d\r\n' "$1"; }
gen_nothing() { printf 'XX:1:nessun comando\r\nF5:1:mai\r\n'; }
# Blank lines only: no command. (An empty file is held for a minute as one
# still being written, which a soak cannot wait for.)
gen_empty() { printf '\r\n\r\n'; }
gen_bad_number() { printf 'F2:1:ARTICOLO:1000:1,50:1\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$1"; }
gen_absurd() { printf 'F2:1:ARTICOLO:1000:99999999999999999999999999:1\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$1"; }
gen_too_much() { printf 'F2:1:ARTICOLO:1000:999999999999:1\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$1"; }
gen_nul() { printf 'F2:1:ART\0ICOLO:1000:150:1\r\nF5:1:ID-%06d\r\nF5:1:\0\0\0\r\nF4:0:0:0:1\r\n' "$1"; }
gen_bytes() { printf 'F2:1:CAFF\xc8 \x80 \xff\xfe \xc3\x28:1000:150:1\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$1"; }
gen_no_eol() { printf 'F2:1:ARTICOLO:1000:150:1,F5:1:ID-%06d,F4:0:0:0:1' "$1"; }
gen_long() { printf 'F2:1:ARTICOLO:1000:150:1\r\nF5:1:%s\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$LONG_TEXT" "$1"; }
gen_order() { printf 'F4:0:0:100:1\r\nF5:1:ID-%06d\r\n' "$1"; }
gen_dept() { printf 'F2:1:ARTICOLO:1000:150:0\r\nF5:1:ID-%06d\r\nF4:0:0:0:1\r\n' "$1"; }
# An unknown record after N2, then a close that fails: the document stays
# open for the operator's recovery.
gen_nf_broken() { printf 'N1:1\r\nN2:1:ID-%06d\r\nN9:1\r\nN3:x\r\n' "$1"; }
printf -v LONG_TEXT '%70000s' ''

# One file of phase 1 or 2.
drop_random() {
  local phase=$1 id=$next_id name
  next_id=$((next_id + 1))
  local pick
  if [ "$phase" = 1 ]; then pick=$((RANDOM % 10)); else pick=$((RANDOM % 20)); fi
  case $pick in
    0 | 1 | 2 | 3) name_for "$id" COR "$((phase == 2 && RANDOM % 5 == 0))"; drop_file gen_receipt "$id" ;;
    4 | 5) name_for "$id" NOF; drop_file gen_document "$id" ;;
    6) name_for "$id" display; drop_file gen_display "$id" ;;
    7) name_for "$id" display; drop_file gen_display_bad "$id" ;;
    8) name_for "$id" NOF; drop_file gen_nothing; silent+=("$NAME"); return ;;
    9) name_for "$id" COR; drop_file gen_empty; silent+=("$NAME"); return ;;
    10) name_for "$id" COR 1; drop_file gen_bad_number "$id" ;;
    11) name_for "$id" COR; drop_file gen_absurd "$id" ;;
    12) name_for "$id" COR; drop_file gen_too_much "$id" ;;
    13) name_for "$id" COR; drop_file gen_nul "$id" ;;
    14) name_for "$id" COR; drop_file gen_bytes "$id" ;;
    15) name_for "$id" COR 1; drop_file gen_no_eol "$id" ;;
    16) name_for "$id" COR; drop_file gen_long "$id" ;;
    17) name_for "$id" COR; drop_file gen_order "$id" ;;
    18) name_for "$id" COR; drop_file gen_dept "$id" ;;
    19) name_for "$id" NOF 1; drop_file gen_nf_broken "$id" ;;
  esac
  accounted+=("$id:$NAME")
}

failures_on_file() {
  cat "$dir/FiscalError.log" "$dir/NotFiscalError.log" 2>/dev/null |
    grep -a -E '^(PrinterError|Tessiro_Error): ' | grep -a -c -v 'File non eseguito: errore in sospeso' || true
}

# The smallest of three looks: a look may fall inside a tick that has a file open.
sample_fd() { local a b c; a=$(ls "/proc/$1/fd" | wc -l); sleep 0.05; b=$(ls "/proc/$1/fd" | wc -l); sleep 0.05
  c=$(ls "/proc/$1/fd" | wc -l); printf '%s\n' "$a" "$b" "$c" | sort -n | head -1; }
sample_rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

batch() { # phase, files in the batch
  local k
  for ((k = 0; k < $2; k++)); do drop_random "$1"; done
  rel_flush "$stage" "$dir"
  rel_wait_idle "$dir"
}

ctl() { "$TESSIRO_BIN" ctl --dir "$dir" "$@"; }
error_stands() {
  local state status
  # stato exits 1 while an error stands: that is an answer, not a failure.
  state=$(ctl stato)
  status=$?
  [ "$status" -le 1 ] || rel_fail "tessiro ctl stato failed (status $status)"
  grep -aq '^error-state: yes' <<<"$state"
}
recover() {
  set_faults
  ctl fine-carta >>"$REL_WORK/ctl.out" 2>&1 || true
  ctl chiudi-nf >>"$REL_WORK/ctl.out" 2>&1 || true
  ctl nascondi >>"$REL_WORK/ctl.out" 2>&1 || rel_fail "tessiro ctl nascondi failed"
  ! error_stands || rel_fail "the error stands after the recovery"
  recoveries=$((recoveries + 1))
}

rel_start_bridge "$dir"
rel_wait_started "$dir" 1
pid=$BRIDGE_PID

# ---------------------------------------------------------------- warm-up
warm=$((files / 5 + 5))
done_files=0
while [ "$done_files" -lt "$warm" ]; do steady_faults; n=$((1 + RANDOM % 20)); batch 1 "$n"; done_files=$((done_files + n)); done
set_faults; batch 1 1; done_files=$((done_files + 1))
error_stands && rel_fail "an error stands after the warm-up, which injects none that should stay"
rss_start=$(sample_rss "$pid"); fd_start=$(sample_fd "$pid")
ls -l "/proc/$pid/fd" >"$REL_WORK/fd-start.txt" 2>/dev/null || true
rss_max=$rss_start
rss_course="$done_files:$rss_start"
next_mark=$((done_files + files / 10 + 1))

# ----------------------------------------------------------------- faults
while [ "$done_files" -lt "$files" ]; do
  random_faults
  n=$((1 + RANDOM % 15))
  batch 2 "$n"
  done_files=$((done_files + n))
  if error_stands; then recover; fi
  rss=$(sample_rss "$pid"); [ "$rss" -le "$rss_max" ] || rss_max=$rss
  # The RSS at every tenth of the run, to show its course in the report.
  if [ "$done_files" -ge "$next_mark" ]; then
    rss_course="$rss_course $done_files:$rss"
    next_mark=$((next_mark + files / 10 + 1))
  fi
done
set_faults
! error_stands || recover
# A document still open here (a recovery that failed under the last faults)
# would be closed by the bridge before the last receipt, with a record of
# its own under that receipt's name: the operator closes it first.
if grep -aq '^Stato=nonfiscale' "$dir/Simulatore/stato.ini"; then
  ctl chiudi-nf >>"$REL_WORK/ctl.out" 2>&1 || rel_fail "tessiro ctl chiudi-nf did not close the open document"
fi

# The bridge takes a last valid file and settles.
id=$next_id; next_id=$((next_id + 1))
name_for "$id" COR; drop_file gen_receipt "$id"; accounted+=("$id:$NAME"); rel_flush "$stage" "$dir"
rel_wait_idle "$dir"
grep -aq "\"$(m "$id")\"" "$dir/Simulatore/chiamate.log" || rel_fail "the last file did not run"
[ "$BRIDGE_PID" = "$pid" ] || rel_fail "the bridge was restarted"
rss_end=$(sample_rss "$pid"); fd_end=$(sample_fd "$pid")
ls -l "/proc/$pid/fd" >"$REL_WORK/fd-end.txt" 2>/dev/null || true
rel_stop_bridge
if [ "$fd_end" != "$fd_start" ]; then
  diff "$REL_WORK/fd-start.txt" "$REL_WORK/fd-end.txt" >&2 || true
  rel_fail "open descriptors changed: $fd_start -> $fd_end"
fi
# Under AddressSanitizer freed memory waits in its quarantine (up to 256 MB)
# before it is reused, so RSS grows without a leak: there LeakSanitizer is the
# check, and RSS is only reported.
if ldd "$TESSIRO_BIN" 2>/dev/null | grep -q libasan; then
  rel_say "RSS not checked: $TESSIRO_BIN is built with AddressSanitizer"
else
  [ "$rss_end" -le $((rss_start + slack_kb)) ] || rel_fail "RSS grew from $rss_start kB to $rss_end kB"
fi

counts=$(rel_account "$dir" "${accounted[@]}") || rel_fail "accounting"
for name in "${silent[@]}"; do
  [ ! -e "$dir/Ostro/$name" ] && [ ! -e "$dir/IN/$name" ] || rel_fail "file left behind: $name"
done
[ ! -e "$dir/PWNED" ] && [ ! -e "$REL_WORK/PWNED" ] && [ ! -e PWNED ] || rel_fail "a file name was run by a shell"
rel_check_config "$dir" "$REL_WORK/seed.ini" || rel_fail "configuration damaged"
rel_check_litter "$dir" || rel_fail "litter"
read -r executed logged <<<"$counts"
kinds=""
for k in "${!fault_kinds[@]}"; do kinds="$kinds $k:${fault_kinds[$k]}"; done
echo "soak: PASS files=$((done_files + 1)) marked=${#accounted[@]} executed=$executed only-logged=$logged" \
  "no-command=${#silent[@]} fault-sets=$faults_injected ($kinds ) recoveries=$recoveries" \
  "rss_kb=$rss_start->$rss_end (max $rss_max) fds=$fd_start->$fd_end" \
  "rss_kb_course=[$rss_course ]"
