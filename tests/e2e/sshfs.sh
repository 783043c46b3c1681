#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program folder on a real sshfs mount, written the way a back-office
# writes over a share: one open file, three pieces, pauses of 1.5 s and then
# 2.5 s, the second longer than the 2 s settle period the bridge uses where
# the kernel cannot see the writer. The bridge must hold the file back while
# its receipt has no payment yet and print ONE whole receipt (both items, the
# total, the payment) with no failure record for the file.
#
# The script starts its own sshd on 127.0.0.1 (a free port, a throwaway host
# key and client key, as the current user) and mounts a scratch folder over
# sshfs; the program folder, the bridge's reads and the writer's writes all
# go through the mount. The mount and the sshd go away on every exit path.
#
# Usage: sshfs.sh PATH/TO/tessiro
# Skips (SKIPPED:) without sshfs, sshd or /dev/fuse, or when the mount
# cannot be made (a container without FUSE rights, a login refused);
# test.sh installs sshfs and openssh-server where it can.
set -uo pipefail

tessiro="${1:?usage: sshfs.sh PATH/TO/tessiro}"
source "$(dirname "$0")/common.sh"
export LC_ALL=C QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY

skip() { echo "SKIPPED: $*"; exit 0; }
sshd_bin=$(command -v sshd || echo /usr/sbin/sshd)
command -v sshfs >/dev/null || skip "sshfs is not installed"
[ -x "$sshd_bin" ] || skip "sshd (openssh-server) is not installed"
command -v ssh-keygen >/dev/null || skip "ssh-keygen is not installed"
[ -c /dev/fuse ] || skip "no /dev/fuse on this machine"

work="$(mktemp -d "${TMPDIR:-/tmp}/tessiro-sshfs.XXXXXX")"
mnt="$work/mnt"
sshd_pid=""
sshfs_pid=""
bridge=""
keep=0
cleanup() {
  [ -n "$bridge" ] && kill "$bridge" 2>/dev/null && wait "$bridge" 2>/dev/null
  if mountpoint -q "$mnt" 2>/dev/null; then
    fusermount3 -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null ||
      fusermount3 -u -z "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null
  fi
  [ -n "$sshfs_pid" ] && kill "$sshfs_pid" 2>/dev/null; [ -n "$sshfs_pid" ] && wait "$sshfs_pid" 2>/dev/null
  [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null && wait "$sshd_pid" 2>/dev/null
  # Never remove through a mount that is still there.
  if mountpoint -q "$mnt" 2>/dev/null; then
    echo "the mount $mnt could not be removed" >&2
  elif [ "$keep" = 1 ]; then
    echo "--- files kept in $work (the program folder is export/prog) ---" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() { echo "FAILED: $*" >&2; keep=1; exit 1; }

# 1. An sshd of our own: keys, configuration, a free port.
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key" || skip "ssh-keygen could not make a host key"
ssh-keygen -q -t ed25519 -N '' -f "$work/client_key" || skip "ssh-keygen could not make a client key"
mkdir -p "$work/export" "$mnt"
# sshd running as root wants its privilege separation folder (made by the
# system's service at boot, missing where no service ever ran).
if [ "$(id -u)" = 0 ] && [ ! -d /run/sshd ]; then
  mkdir -m 0755 /run/sshd || skip "cannot make /run/sshd for sshd"
fi
# True once the sshd just started listens on port $1, or has ended.
sshd_settled() { grep -q "Server listening on 127.0.0.1 port $1" "$work/sshd.log" || ! kill -0 "$sshd_pid"; }
port=""
for _ in $(seq 20); do
  try=$((20000 + RANDOM % 40000))
  cat >"$work/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $try
HostKey $work/host_key
PidFile $work/sshd.pid
AuthorizedKeysFile $work/client_key.pub
AllowUsers $(id -un)
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
Subsystem sftp internal-sftp
EOF
  : >"$work/sshd.log"
  "$sshd_bin" -D -f "$work/sshd_config" -E "$work/sshd.log" &
  sshd_pid=$!
  wait_for 10 sshd_settled "$try"
  if grep -q "Server listening on 127.0.0.1 port $try" "$work/sshd.log"; then
    port=$try
    break
  fi
  kill "$sshd_pid" 2>/dev/null
  wait "$sshd_pid" 2>/dev/null
  sshd_pid=""
  grep -q "Bind to port $try" "$work/sshd.log" || skip "sshd did not start: $(tail -n 3 "$work/sshd.log")"
done
[ -n "$port" ] || skip "no free port for sshd on 127.0.0.1"

# 2. The share: a scratch folder mounted over sshfs. No directory cache, so
# a listing shows at once what the writer created.
sshfs -f -F /dev/null "$(id -un)@127.0.0.1:$work/export" "$mnt" \
  -o "port=$port,IdentityFile=$work/client_key,IdentitiesOnly=yes,BatchMode=yes" \
  -o StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,LogLevel=ERROR \
  -o dir_cache=no >"$work/sshfs.log" 2>&1 &
sshfs_pid=$!
# True once the share is mounted, or sshfs has given up.
mount_settled() { mountpoint -q "$mnt" || ! kill -0 "$sshfs_pid"; }
wait_for 20 mount_settled
if ! mountpoint -q "$mnt"; then
  skip "the sshfs mount failed (FUSE rights, login): $(tail -n 3 "$work/sshfs.log") $(tail -n 2 "$work/sshd.log")"
fi
if ! touch "$mnt/probe" 2>/dev/null || [ ! -e "$work/export/probe" ]; then
  skip "the sshfs mount is not writable: $(tail -n 3 "$work/sshfs.log")"
fi
rm -f "$mnt/probe"

# 3. The program folder on the share, the headless bridge on the simulator.
prog="$mnt/prog"
"$tessiro" init --dir "$prog" >"$work/init.out" 2>&1 || fail "init on the mount: $(cat "$work/init.out")"
"$tessiro" --headless --quiet --dir "$prog" >"$work/bridge.log" 2>&1 &
bridge=$!
wait_for 30 "$tessiro" ctl --dir "$prog" stato || fail "the bridge on the mount did not answer: $(cat "$work/bridge.log")"
roll="$prog/Simulatore/giornale.txt"
roll_before=$( (wc -l <"$roll") 2>/dev/null || echo 0)

# 4. The back-office writes one receipt in three pieces through one open
# file, under its real name, straight into Ostro on the share.
name=20261208150700COR000027.txt
ref=${name:14}
exec 3>>"$prog/Ostro/$name" || fail "cannot create $name on the mount"
printf 'F2:1:PANE:1000:250:1\r\n' >&3
sleep 1.5
printf 'F2:1:LATTE:1000:129:1\r\n' >&3
sleep 2.5
printf 'F4:0:0:379:1\r\n' >&3
exec 3>&-
written=$SECONDS

# Taken and run. The bound covers the one-minute hold-back and more: a file
# that still looked unfinished runs after that minute, and its receipt is
# then judged below rather than reported as a mere time-out.
wait_for 90 bash -c "[ ! -e '$prog/Ostro/$name' ] && [ ! -e '$prog/IN/$name' ]" ||
  fail "$name was not taken within 90 s"
taken_after=$((SECONDS - written))
wait_for 30 bash -c "[ \"\$('$tessiro' config get --dir '$prog' Eps_Vuoto)\" = -1 ]" ||
  fail "the bridge did not come back to idle"
kill -TERM "$bridge"
wait "$bridge"
status=$?
bridge=""
[ "$status" = 0 ] || fail "the bridge ended with status $status: $(cat "$work/bridge.log")"

# 5. The roll: exactly one new receipt, with both items and the payment.
tail -n +"$((roll_before + 1))" "$roll" >"$work/new-roll.txt" 2>/dev/null
receipts=$(grep -c '^=\{10,\}$' "$work/new-roll.txt")
[ "$receipts" = 1 ] || fail "$receipts receipts printed, not one: $(cat "$work/new-roll.txt")"
for line in '^PANE +2,50$' '^LATTE +1,29$' '^TOTALE EURO +3,79$' '^CONTANTI +3,79$' '^SCONTRINO N\. '; do
  grep -Eq "$line" "$work/new-roll.txt" || fail "the receipt has no line like '$line': $(cat "$work/new-roll.txt")"
done
! grep -qi 'annull' "$work/new-roll.txt" || fail "the receipt was voided: $(cat "$work/new-roll.txt")"
! grep -qsF "$ref" "$prog/FiscalError.log" || fail "a failure record for $name: $(cat "$prog/FiscalError.log")"
! grep -qsF "$ref" "$prog/NotFiscalError.log" || fail "a record for $name: $(cat "$prog/NotFiscalError.log")"
echo "PASSED: over sshfs, three pieces with pauses of 1.5 s and 2.5 s print one whole receipt (taken ${taken_after} s after the last piece), no record"
