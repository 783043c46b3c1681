#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A program folder shared with the back-office's group, turned against the
# bridge by a member of that group: tests/reliability/hostile-folder.sh
#
# Needs root (skipped otherwise): it makes a group and two users. B runs the
# real `tessiro --headless` on a program folder in B's home, owned by B, of
# the shop group, setgid and group-writable, as the installer docs advise.
# O, a member of the shop group like the back-office's users, puts links
# where the bridge keeps its folders and files, each pointing at a private
# file or folder of B's holding a unique marker, one scenario at a time, and
# drives the bridge through command files and `tessiro ctl` as B. After each
# scenario:
#   - B's home outside the program folder (the link targets and the data
#     directory among it) is as it was: same entries, modes, owners, bytes;
#   - no marker reached the logs, the roll, the bridge's stderr or ctl;
#   - the refusal is on record: a log line (else a stderr line) naming the
#     link; once where one record is due.
# Then the links B made itself, to a shared INI in another folder and to a
# Simulatore folder on another disk (a tmpfs), must keep working: a receipt
# prints on the linked roll, the INI is still a link after the bridge wrote
# it, and the back-office's Eps_Vuoto=0 in the shared file holds files back.
# Every scenario runs; the failures are listed together at the end.
set -u
RELIABILITY_NAME=hostile-folder
source "$(dirname "$0")/common.sh"

skip() { echo "hostile-folder: SKIPPED: $*"; exit 0; }
[ "$(id -u)" = 0 ] || skip "needs root (it creates two users and a group)"
for tool in useradd userdel groupadd groupdel setpriv sha256sum; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
rel_need_binary
rel_workdir
W=$REL_WORK
chmod 755 "$W"
# B must reach the executable; the build tree may be closed to others.
BIN=$W/tessiro
install -m 755 "$TESSIRO_BIN" "$BIN"

SUF=$(printf '%04x%04x' "$RANDOM" "$RANDOM")
SHOP=tsh$SUF UB=tsb$SUF UO=tso$SUF MARK=RISERVATO-$SUF
made=()
cleanup_users() {
  mountpoint -q "$W/disco" && umount "$W/disco"
  [ -z "${OTHER_DISK:-}" ] || rm -rf "$OTHER_DISK"
  local u
  for u in "${made[@]}"; do
    case $u in
      group:*) groupdel "${u#group:}" ;;
      *) userdel -r "$u" 2>/dev/null || userdel "$u" ;;
    esac
  done
}
REL_CLEANUP_EXTRA=cleanup_users
groupadd "$SHOP" || rel_fail "groupadd $SHOP failed"
made=("group:$SHOP")
useradd -m -s /bin/sh -G "$SHOP" "$UB" || rel_fail "useradd $UB failed"
made=("$UB" "${made[@]}")
useradd -m -s /bin/sh -G "$SHOP" "$UO" || rel_fail "useradd $UO failed"
made=("$UO" "${made[@]}")
HB=$(getent passwd "$UB" | cut -d: -f6) HO=$(getent passwd "$UO" | cut -d: -f6)
IB=$(id -u "$UB") GB=$(id -g "$UB") IO=$(id -u "$UO") GO=$(id -g "$UO")
chmod 711 "$HB"
P=$HB/prog D=$HB/dati S=$HB/privato
# Prefixes (arrays, so that `"${AS_B[@]}" cmd &` gives the command's own PID).
AS_B=(setpriv --reuid="$IB" --regid="$GB" --init-groups env -i HOME="$HB" PATH=/usr/bin:/bin LC_ALL=C
  QT_QPA_PLATFORM=offscreen)
AS_O=(setpriv --reuid="$IO" --regid="$GO" --init-groups env -i HOME="$HO" PATH=/usr/bin:/bin LC_ALL=C)
as_b() { "${AS_B[@]}" "$@"; }
as_o() { "${AS_O[@]}" "$@"; }
plant() { as_o ln -sfn "$1" "$2" || bad "O could not put the link $2"; }

# B's private things, each holding a marker that must never leave them.
secret() { mkdir -p "$(dirname "$S/$1")"; printf '%s\r\n' "${2:-$MARK-$1}" "riga due $MARK" >"$S/$1"; }
secret cassetto/contabilita.db
secret cassetto/fattura-2026.pdf
secret archivio/backup.csv "id_backup;chiave;$MARK-backup"
secret archivio/20261208000001COR000001.txt "F5:1:$MARK-archivio"
secret nota.txt
secret nota-nuova.txt
secret bin/cassa.sh "#!/bin/sh"
secret bin/chiusura.sh "#!/bin/sh"
secret impostazioni.ini "[Varie]"
secret vecchi/2026FiscalError.log
secret registri/giornata.log
for f in giornale.txt stato.ini chiamate.log visore.txt; do secret "stampante/$f"; secret "sim-$f"; done
secret locale.ini "[Varie]"
secret ultimo.txt "F5:1:$MARK-ultimo"
chmod 700 "$S/bin"/*.sh
chown -R "$IB:$GB" "$S" && chmod -R go-rwx "$S"
install -d -o "$IB" -g "$SHOP" -m 2775 "$D" "$D/_Cassa"

failures=()
bad() { failures+=("$SC: $*"); rel_say "FAIL $SC: $*"; }
wait_until() { # SECONDS COMMAND...: true once COMMAND is, false at the limit
  local tries=$(($1 * 10))
  shift
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    rel_sleep 0.1
  done
}
count() { local n; n=$(grep -ac -- "$1" "$2" 2>/dev/null) || true; echo "${n:-0}"; }
started() { [ "$(count 'AZIONE: IntervalTimer: ' "$ERR")" -ge "$STARTS" ]; }
start_b() {
  "${AS_B[@]}" "$BIN" --headless --dir "$P" >>"$ERR" 2>&1 &
  BRIDGE_PID=$!
  REL_PIDS+=("$BRIDGE_PID")
  STARTS=$((STARTS + 1))
  wait_until 60 started || bad "no start-up record after 60 s: $(tail -n 3 "$ERR")"
}
stop_b() {
  [ -n "$BRIDGE_PID" ] || return 0
  local status=0
  kill -TERM "$BRIDGE_PID" 2>/dev/null
  wait "$BRIDGE_PID" || status=$?
  rel_forget "$BRIDGE_PID"
  BRIDGE_PID=""
  [ "$status" = 0 ] || bad "the bridge ended with status $status"
}
ctl_b() { as_b "$BIN" ctl --dir "$P" "$@" >>"$W/$SC.ctl" 2>&1 || true; }
drop() { # ID [BODY]: a file (a receipt) into Ostro, as the back-office drops it
  local name
  name=$(rel_fiscal_name "$1")
  if [ $# -gt 1 ]; then printf '%s' "$2"; else rel_receipt "$1"; fi >"$W/drop.part"
  chmod 644 "$W/drop.part"
  as_o sh -c 'cp "$1" "$2/.$3.part" && mv "$2/.$3.part" "$2/$3"' _ "$W/drop.part" "$P/Ostro" "$name" ||
    bad "O could not drop $name"
}
printed() { [ "$(count "ID-$(printf %06d "$1")" "$2")" = 1 ]; }

# Entries, types, modes, owners and bytes of B's home, but for the program
# folder (rebuilt by each scenario) and the control socket's folder.
snapshot() {
  (cd "$HB" && find . \( -path ./prog -o -path ./.cache \) -prune -o -printf '%y %m %U %l %p\n' | sort &&
    find . \( -path ./prog -o -path ./.cache \) -prune -o -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

# A fresh program folder as a shop sets it up; SC names the scenario.
scenario() {
  SC=$1 ERR=$W/$1.err STARTS=0
  rm -rf "$P"
  install -d -o "$IB" -g "$SHOP" -m 2775 "$P" "$P/Ostro"
  rel_seed_config "$P/_Configurazione.ini" 50
  sed -i "s|^Kelmora_DIR=.*|Kelmora_DIR=$D/\r|" "$P/_Configurazione.ini"
  chown "$IB:$SHOP" "$P/_Configurazione.ini" && chmod 664 "$P/_Configurazione.ini"
  : >"$ERR"
  snapshot >"$W/before"
  rel_say "scenario: $SC"
}

# Stops the bridge and checks home, markers and the refusal's record:
# finish LINKNAME [once] (no LINKNAME: no record expected).
finish() {
  stop_b
  snapshot >"$W/after"
  diff "$W/before" "$W/after" >"$W/$SC.diff" || bad "B's home changed: $(awk '/^[<>]/ { s[$NF] = s[$NF] $1 }
    END { for (p in s) printf "%s %s; ", s[p] ~ /</ ? (s[p] ~ />/ ? "changed" : "deleted") : "added", p }' "$W/$SC.diff")"
  local leaks
  leaks=$(grep -r -a -o "${MARK}[a-z0-9./-]*" "$P" "$ERR" "$W/$SC.ctl" 2>/dev/null | sort -u | head -5 | tr '\n' ' ')
  [ -z "$leaks" ] || bad "private contents read out: $leaks"
  [ $# -gt 0 ] || return 0
  local logs n
  logs=$(cat "$P/FiscalError.log" "$P/NotFiscalError.log" 2>/dev/null | grep -aF -- "$1" | grep -aicE 'collegament|link')
  n=${logs:-0}
  if [ "$n" = 0 ]; then
    grep -aF -- "$1" "$ERR" | grep -aqiE 'collegament|link' || bad "no record names the link $1"
  elif [ "${2:-}" = once ] && [ "$n" != 1 ]; then
    bad "$n records name the link $1, not one"
  fi
}

# 1. IN a link to a folder of B's: nothing there deleted at start-up.
scenario in-link
plant "$S/cassetto" "$P/IN"
start_b
drop 1
# A file another user wrote is taken once it has stood still for the settle
# time (2 s): wait past it, or the check below would prove nothing.
rel_sleep 4
[ -e "$P/Ostro/$(rel_fiscal_name 1)" ] || bad "a file was taken while IN is a link"
finish IN once

# 2. Ostro replaced by a link while the bridge runs: the folder it leads
# to is neither run nor emptied.
scenario ostro-link
start_b
as_o sh -c 'rmdir "$1" && ln -s "$2" "$1"' _ "$P/Ostro" "$S/archivio" || bad "O could not replace Ostro"
rel_sleep 1.5
finish Ostro once

# 3. The running note and its former aside file as links to B's files.
scenario running-note-link
plant "$S/nota-nuova.txt" "$P/.tessiro.running.nuovo"
plant "$S/nota.txt" "$P/.tessiro.running"
start_b
drop 2
rel_sleep 4
finish .tessiro.running once

# 4. The logs as links to scripts of B's: a failing file's text (a shell
# command) must not be appended to them.
scenario log-links
plant "$S/bin/cassa.sh" "$P/FiscalError.log"
plant "$S/bin/chiusura.sh" "$P/NotFiscalError.log"
start_b
printf -v body 'F2:1:PANE:1000:x:1\r\nF5:1:$(touch %s/PWNED)\r\n' "$HB"
drop 3 "$body"
wait_until 10 grep -aq 'COR000003' "$ERR" || bad "the failing file has no record on stderr"
finish FiscalError.log
grep -aF NotFiscalError.log "$ERR" | grep -aqiE 'collegament|link' || bad "no record names the link NotFiscalError.log"

# 5. _Configurazione.ini as O's link to a file of B's.
scenario ini-link
rm -f "$P/_Configurazione.ini"
plant "$S/impostazioni.ini" "$P/_Configurazione.ini"
start_b
drop 4
rel_sleep 1
ctl_b ricarica
finish _Configurazione.ini once

# 6. Cestino and Log as links to folders of B's; the log renewal moves the
# logs into Cestino. Only the window's "File Temporanei" empties Log, and a
# headless bridge has no such command: nothing else may touch its target.
scenario bin-link
plant "$S/vecchi" "$P/Cestino"
plant "$S/registri" "$P/Log"
start_b
ctl_b ricrea-log
rel_sleep 0.5
finish Cestino once

# 7. Simulatore as a link to a folder of B's holding a roll.
scenario simulator-link
plant "$S/stampante" "$P/Simulatore"
start_b
drop 5
wait_until 15 grep -saq "COR000005.txt" "$P/FiscalError.log" || bad "the dropped file was never on record"
finish Simulatore once

# 8. The simulator's files as links, in a Simulatore folder the group may
# write (as the program folder).
scenario simulator-files
install -d -o "$IB" -g "$SHOP" -m 2775 "$P/Simulatore"
for f in giornale.txt stato.ini chiamate.log visore.txt; do plant "$S/sim-$f" "$P/Simulatore/$f"; done
start_b
drop 6
wait_until 15 grep -saq "COR000006.txt" "$P/FiscalError.log" || bad "the dropped file was never on record"
finish giornale.txt
for f in stato.ini chiamate.log; do
  grep -ahF "$f" "$P/FiscalError.log" "$P/NotFiscalError.log" "$ERR" 2>/dev/null | grep -aqiE 'collegament|link' ||
    bad "no record names the link $f"
done

# 9. In the data directory, _local.ini (ELIMINA) and _Cassa/Old.txt
# (RISTAMPA) as links to files of B's.
scenario data-dir-links
plant "$S/locale.ini" "$D/_local.ini"
plant "$S/ultimo.txt" "$D/_Cassa/Old.txt"
snapshot >"$W/before"
start_b
ctl_b elimina-cor
ctl_b ristampa
rel_sleep 1.5
finish _local.ini once
grep -ahF Old.txt "$P/FiscalError.log" "$P/NotFiscalError.log" "$ERR" 2>/dev/null | grep -aqiE 'collegament|link' ||
  bad "no record names the link Old.txt"
rm -f "$D/_local.ini" "$D/_Cassa/Old.txt"

# 10. A log replaced by a folder: the failing file's record, kept to be
# written later, is said once on standard error, not twice.
scenario log-folder
as_o mkdir "$P/FiscalError.log"
start_b
drop 7 $'F2:1:PANE:1000:x:1\r\n'
wait_until 10 grep -aq 'COR000007' "$ERR" || bad "the failing file has no record on stderr"
rel_sleep 0.5
finish
n=$(count 'COR000007\.txt;' "$ERR")
[ "$n" = 1 ] || bad "the record of the failing file is on stderr $n times, not once"

# ------------------------------------------------------------ trusted links
# B's own links: to a shared INI in a folder of B's elsewhere (the back-office
# writes it there) and to a Simulatore folder on another disk.
scenario trusted-links
U=$W/ufficio
install -d -o "$IB" -g "$SHOP" -m 2775 "$U" "$W/disco"
mv "$P/_Configurazione.ini" "$U/_Configurazione.ini"
cp "$U/_Configurazione.ini" "$W/seed.ini"
as_b ln -s "$U/_Configurazione.ini" "$P/_Configurazione.ini"
# Another disk: a tmpfs of its own, or where mounting is not allowed (a
# container) a folder on another file system already there.
other=""
if mount -t tmpfs -o size=8m,mode=2775 tessiro-hostile "$W/disco" 2>/dev/null; then
  other=$W/disco
else
  for base in /dev/shm /var/tmp /tmp; do
    [ -d "$base" ] && [ "$(stat -c %d "$base")" != "$(stat -c %d "$P")" ] || continue
    other=$(mktemp -d "$base/tessiro-hostile.XXXXXX") && chmod 755 "$other" && OTHER_DISK=$other && break
  done
fi
if [ -n "$other" ]; then
  install -d -o "$IB" -g "$SHOP" -m 2775 "$other/Simulatore"
  as_b ln -s "$other/Simulatore" "$P/Simulatore"
  roll=$other/Simulatore/giornale.txt
else
  rel_say "no other file system here (no tmpfs mount allowed): the Simulatore link is to a folder on the same one"
  install -d -o "$IB" -g "$SHOP" -m 2775 "$U/Simulatore"
  as_b ln -s "$U/Simulatore" "$P/Simulatore"
  roll=$U/Simulatore/giornale.txt
fi
start_b
drop 8
wait_until 20 printed 8 "$roll" || bad "the receipt did not print on the linked roll"
ctl_b ricarica
[ -L "$P/_Configurazione.ini" ] || bad "the shared INI is no longer a link after the bridge wrote it"
[ -L "$P/Simulatore" ] || bad "Simulatore is no longer a link"
grep -aq '^Kelmora_CORR=' "$U/_Configurazione.ini" || bad "Kelmora_CORR did not reach the shared INI"
rel_check_config "$U" "$W/seed.ini" || bad "the shared INI lost lines"
# The back-office pauses the bridge in its own file: nothing prints.
as_o "$BIN" config set --file "$U/_Configurazione.ini" Eps_Vuoto 0 >>"$W/$SC.ctl" 2>&1 ||
  bad "O could not write Eps_Vuoto=0 into the shared INI"
drop 9
rel_sleep 2
[ "$(count 'ID-000009' "$roll")" = 0 ] || bad "a receipt printed while the shared INI said Eps_Vuoto=0"
[ -e "$P/Ostro/$(rel_fiscal_name 9)" ] || bad "a file was taken while the shared INI said Eps_Vuoto=0"
as_o "$BIN" config set --file "$U/_Configurazione.ini" Eps_Vuoto -1 >>"$W/$SC.ctl" 2>&1
wait_until 20 printed 9 "$roll" || bad "the held receipt did not print once Eps_Vuoto was -1 again"
[ -L "$P/_Configurazione.ini" ] || bad "the shared INI is no longer a link at the end"
stop_b
grep -aiE 'collegament|link' "$P/FiscalError.log" "$P/NotFiscalError.log" 2>/dev/null | head -3 | grep -q . &&
  bad "a trusted link was refused"

if [ ${#failures[@]} -gt 0 ]; then
  rel_say "${#failures[@]} failure(s):"
  printf '  %s\n' "${failures[@]}" >&2
  exit 1
fi
echo "hostile-folder: PASS"
