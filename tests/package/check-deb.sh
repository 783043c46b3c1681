#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package in a configured build directory with cpack and
# checks it: every file the installer needs is in it at its place, the
# autostart entry is a conffile, Depends names the package of every shared
# library the two executables link, lintian finds no error and no warning,
# and the manual page renders without a warning.
#
# With --install (root only; the package must not be installed already):
# installs it with dpkg, runs `tessiro --version` from PATH, starts the
# headless bridge the way the user service does (its Environment,
# EnvironmentFile and ExecStart lines, run by hand: containers rarely have a
# user systemd), prints a receipt on the simulated printer, raises an error
# that `tessiro ctl stato` shows and `tessiro ctl annulla-scontrino` clears,
# stops the bridge; with Xvfb at hand, starts `tessiro` on a display and
# checks that it handed over to the installed window program; then, as a
# new user that is not root, follows the installer guide's package route
# (`tessiro init`, `tessiro --headless` without --dir, the examples dropped
# one by one) and checks that every example printed with no key set by hand;
# then removes and purges the package and the user, and checks that the
# package's files are gone.
#
# Usage: tests/package/check-deb.sh BUILD_DIR [--install]
# Prints "SKIPPED: ..." and exits 0 when dpkg-deb is missing.
set -euo pipefail

usage() {
  echo "usage: $0 BUILD_DIR [--install]" >&2
  exit 2
}

[ $# -ge 1 ] || usage
build=$1
shift
install=0
for arg in "$@"; do
  case $arg in
    --install) install=1 ;;
    *) usage ;;
  esac
done

fail() {
  echo "check-deb: FAIL: $*" >&2
  exit 1
}
say() { echo "check-deb: $*"; }

command -v dpkg-deb >/dev/null || { echo "SKIPPED: dpkg-deb is not installed"; exit 0; }
# lintian, man and dpkg-shlibdeps: installed when missing (as root).
source "$(dirname "$0")/../../scripts/deps.sh"
# Without them (not root, no sudo) the check cannot be made at all: cpack
# needs dpkg-shlibdeps for Depends.
install_deps lintian man-db dpkg-dev ||
  { echo "SKIPPED: lintian, man-db and dpkg-dev are missing and could not be installed"; exit 0; }
command -v cpack >/dev/null || { echo "SKIPPED: cpack is not installed"; exit 0; }
[ -f "$build/CPackConfig.cmake" ] || { echo "check-deb: $build is not a configured build directory" >&2; exit 2; }
build=$(cd "$build" && pwd)

# ------------------------------------------------------------------ build

cmake --build "$build" --target tessiro tessiro-window tessiro-serve-printer >/dev/null
if grep -q tessiro_manpage "$build/build.ninja" "$build/Makefile" 2>/dev/null; then
  cmake --build "$build" --target tessiro_manpage >/dev/null
fi
rm -f "$build"/tessiro_*.deb
(cd "$build" && cpack -G DEB) >"$build/check-deb-cpack.log" 2>&1 ||
  { cat "$build/check-deb-cpack.log" >&2; fail "cpack -G DEB failed"; }
debs=("$build"/tessiro_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "cpack made no single tessiro_*.deb in $build"
fi
deb=${debs[0]}
say "package $deb"

# --------------------------------------------------------------- contents

listing=$(dpkg-deb -c "$deb")
# "./usr/bin/tessiro" and friends, without the directories.
files=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sed 's|^\./|/|')

expected=(
  /usr/bin/tessiro
  /usr/libexec/tessiro/tessiro
  /usr/libexec/tessiro/tessiro-serve-printer
  /usr/share/applications/tessiro.desktop
  /etc/xdg/autostart/tessiro.desktop
  /usr/share/icons/hicolor/64x64/apps/tessiro.png
  /usr/lib/systemd/user/tessiro.service
  /usr/share/bash-completion/completions/tessiro
  /usr/share/doc/tessiro/examples/tessiro.env
  /usr/share/doc/tessiro/README.md
  /usr/share/doc/tessiro/docs/installer.md
  /usr/share/doc/tessiro/docs/integrator.md
  /usr/share/doc/tessiro/copyright
  /usr/share/doc/tessiro/changelog.gz
  /usr/share/doc/tessiro/examples/README.md
)
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$files" || fail "$path is missing from the package"
done
grep -qxE '/usr/share/man/man1/tessiro\.1(\.gz)?' <<<"$files" || fail "the manual page is missing from the package"
grep -q '^/usr/etc/' <<<"$files" && fail "files under /usr/etc: the autostart entry must go to /etc/xdg/autostart"
for program in /usr/bin/tessiro /usr/libexec/tessiro/tessiro /usr/libexec/tessiro/tessiro-serve-printer; do
  awk -v f=".$program" '$6 == f {print $1, $2}' <<<"$listing" | grep -qx -- '-rwxr-xr-x root/root' ||
    fail "$program is not an executable owned by root"
done

control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb -e "$deb" "$control/DEBIAN"
grep -qxF /etc/xdg/autostart/tessiro.desktop "$control/DEBIAN/conffiles" 2>/dev/null ||
  fail "the autostart entry is not a conffile"

# The autostart entry is installed switched off, the desktop entry is not.
dpkg-deb -x "$deb" "$control/root"
autostart=$control/root/etc/xdg/autostart/tessiro.desktop
grep -qx 'Hidden=true' "$autostart" || fail "the autostart entry is not switched off (Hidden=true)"
grep -q '^Hidden=' "$control/root/usr/share/applications/tessiro.desktop" &&
  fail "the menu entry must not be hidden"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$control/root/usr/share/applications/tessiro.desktop" "$autostart" ||
    fail "desktop-file-validate refused an entry"
fi
unit=$control/root/usr/lib/systemd/user/tessiro.service
grep -qE '^ExecStart=/usr/bin/tessiro --headless --dir \$\{TESSIRO_DIR\}' "$unit" ||
  fail "the unit does not start the headless bridge on \${TESSIRO_DIR}"
grep -qE '^EnvironmentFile=-?%h/\.config/tessiro/tessiro\.env$' "$unit" ||
  fail "the unit does not read ~/.config/tessiro/tessiro.env"

# -------------------------------------------------------------- Depends

depends=$(dpkg-deb -f "$deb" Depends)
say "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | sed -E 's/^ *//; s/ .*//; s/:.*//')
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6httpserver6 qt6-qpa-plugins qt6-translations-l10n; do
  grep -qxF "$package" <<<"$names" || fail "Depends does not name $package"
done
# The package that owns a file, under any of its names: with /usr merged,
# dpkg knows some libraries as /lib/... and others as /usr/lib/...
owner_of() {
  local real candidate
  real=$(readlink -f "$1")
  for candidate in "$1" "$real" "${real#/usr}" "/usr$1"; do
    # Every reader takes its input to the end: under pipefail, a writer cut
    # off early (SIGPIPE) would fail the whole pipeline now and then.
    dpkg-query -S "$candidate" 2>/dev/null | sed -n '1s/:.*//p' | grep . && return 0
  done
  return 0
}
# Every library the executables link must come from a package in Depends
# (the HTTP server brings its WebSockets library itself).
if command -v readelf >/dev/null && command -v ldconfig >/dev/null; then
  for library in $(for program in usr/bin/tessiro usr/libexec/tessiro/tessiro usr/libexec/tessiro/tessiro-serve-printer; do
                     readelf -d "$control/root/$program" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'
                   done | sort -u); do
    path=$(ldconfig -p | awk -v lib="$library" '$1 == lib && !found {print $NF; found = 1}')
    [ -n "$path" ] || fail "$library is not found on this system"
    owner=$(owner_of "$path")
    [ -n "$owner" ] || fail "no package owns $path ($library)"
    grep -qxF "$owner" <<<"$names" || fail "$library comes from $owner, which Depends does not name"
  done
fi
say "contents and Depends are as expected"

# ---------------------------------------------------------------- lintian

# Errors and warnings fail; the info and pedantic tags that stay are listed
# with their reasons in CONTRIBUTING.md, "The Debian package".
lintian_out=$(lintian --fail-on none --display-info --pedantic "$deb" 2>&1) || true
[ -n "$lintian_out" ] && echo "$lintian_out" | sed 's/^/check-deb: lintian: /'
if grep -qE '^[EW]: ' <<<"$lintian_out"; then
  fail "lintian reports errors or warnings"
fi
say "lintian: no error, no warning"

man_page=$(ls "$control/root/usr/share/man/man1/"tessiro.1*)
man_warnings=$(MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >/dev/null) || true
[ -z "$man_warnings" ] || fail "man --warnings: $man_warnings"
say "man --warnings: clean"

[ "$install" = 1 ] || exit 0

# ----------------------------------------------------------- installation

[ "$(id -u)" = 0 ] || { echo "check-deb: --install needs root" >&2; exit 2; }
if dpkg-query -W -f='${Status}' tessiro 2>/dev/null | grep -q 'installed\|config-files'; then
  echo "check-deb: a tessiro package is already on this system; --install leaves it alone" >&2
  exit 2
fi

work=$(mktemp -d)
bridge_pid=
installed=0
created_user=
cleanup() {
  if [ -n "$bridge_pid" ] && kill -0 "$bridge_pid" 2>/dev/null; then
    kill -TERM "$bridge_pid" 2>/dev/null || true
    wait "$bridge_pid" 2>/dev/null || true
  fi
  if [ "$installed" = 1 ]; then
    dpkg -P tessiro >/dev/null 2>&1 || true
  fi
  if [ -n "$created_user" ]; then
    userdel --remove "$created_user" >/dev/null 2>&1 || true
  fi
  rm -rf "$work" "$control"
}
trap cleanup EXIT

# Waits up to 20 s for a condition; the bridge polls every 500 ms.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 100); do
    "$@" && return 0
    sleep 0.2
  done
  fail "timed out waiting for $what"
}

# Ends the bridge with SIGTERM; its exit status goes to $status.
stop_bridge() {
  kill -TERM "$bridge_pid"
  set +e
  wait "$bridge_pid"
  status=$?
  set -e
  bridge_pid=
}

dpkg -i "$deb" >"$work/dpkg-i.log" 2>&1 || { cat "$work/dpkg-i.log" >&2; fail "dpkg -i failed"; }
installed=1
[ "$(command -v tessiro)" = /usr/bin/tessiro ] || fail "tessiro is not /usr/bin/tessiro on PATH"
version=$(tessiro --version)
[ "$version" = "tessiro $(dpkg-deb -f "$deb" Version)" ] || fail "tessiro --version says \"$version\""
say "installed: $version"
# The window program answers from where tessiro looks for it once installed.
window_status=0
window_says=$(/usr/libexec/tessiro/tessiro --headless 2>&1) || window_status=$?
[ "$window_status" = 2 ] && grep -q 'the window program runs the bridge with its window only' <<<"$window_says" ||
  fail "the installed window program does not run (status $window_status): $window_says"
if command -v systemd-analyze >/dev/null; then
  # Offline, as the system manager sees the file: a parse error shows here.
  systemd-analyze verify /usr/lib/systemd/user/tessiro.service 2>&1 | grep -v 'man tessiro' |
    grep -i 'tessiro.service' && fail "systemd-analyze verify complained about the unit"
fi

# The user service, by hand: its defaults, then the user's environment file,
# then ExecStartPre and ExecStart with ${NAME} as one word and $NAME split.
export HOME=$work/home
unit=/usr/lib/systemd/user/tessiro.service
dir="$work/cassa con spazi"
mkdir -p "$HOME/.config/tessiro"
# Quoted, as a value with blanks must be for both readers of the file
# (systemd and the desktop entry's shell).
printf 'TESSIRO_DIR="%s"\nTESSIRO_OPTIONS=--verbose\n' "$dir" >"$HOME/.config/tessiro/tessiro.env"

while IFS= read -r assignment; do
  assignment=${assignment//%h/$HOME}
  export "${assignment%%=*}=${assignment#*=}"
done < <(sed -n 's/^Environment=//p' "$unit")
envfile=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
envfile=${envfile//%h/$HOME}
[ -r "$envfile" ] || fail "the unit's environment file $envfile is not where the unit looks"
set -a
# shellcheck disable=SC1090
. "$envfile"
set +a

unit_command() {
  local line word name
  line=$(sed -n "s/^$1=//p" "$unit")
  command_words=()
  for word in $line; do
    if [[ $word =~ ^\$\{([A-Za-z_][A-Za-z0-9_]*)\}$ ]]; then
      name=${BASH_REMATCH[1]}
      command_words+=("${!name}")
    elif [[ $word =~ ^\$([A-Za-z_][A-Za-z0-9_]*)$ ]]; then
      name=${BASH_REMATCH[1]}
      # shellcheck disable=SC2206
      command_words+=(${!name})
    else
      command_words+=("$word")
    fi
  done
}
unit_command ExecStartPre
"${command_words[@]}"
[ -d "$dir" ] || fail "ExecStartPre did not create $dir"
[ "$(tessiro config get --dir "$dir" Eps_COM)" = 1 ] || fail "ExecStartPre did not store the simulator's port"
unit_command ExecStart
say "starting: ${command_words[*]}"
"${command_words[@]}" 2>"$work/bridge.log" &
bridge_pid=$!

ctl() { tessiro ctl --dir "$dir" "$@"; }
wait_for "the bridge to answer" ctl stato >/dev/null 2>&1

# A second headless bridge on the same folder is refused.
set +e
tessiro --headless --dir "$dir" 2>"$work/second.log"
status=$?
set -e
[ "$status" = 3 ] || fail "a second headless bridge exited $status, not 3"

printf 'F2:1:PANE:1000:150:1\r\nF4:0:0:150:1\r\n' >"$dir/Ostro/.receipt"
mv "$dir/Ostro/.receipt" "$dir/Ostro/20261208143000COR000001.txt"
wait_for "the receipt in the journal" grep -qs PANE "$dir/Simulatore/giornale.txt"
say "receipt printed on the simulated printer"

printf 'F2:1:LATTE:1000:120:1\r\nF4:0:0:molti:1\r\n' >"$dir/Ostro/.failing"
mv "$dir/Ostro/.failing" "$dir/Ostro/20261208143500COR000002.txt"
wait_for "the error state" sh -c "tessiro ctl --dir '$dir' stato | grep -qx 'error-state: yes'"
# For monitoring, stato exits 1 while an error stands.
set +e
ctl stato >"$work/stato.txt"
status=$?
set -e
[ "$status" = 1 ] || fail "stato exited $status with an error standing, not 1"
grep -q 'Campo numerico non valido' "$work/stato.txt" || fail "stato does not show the error: $(cat "$work/stato.txt")"
say "stato shows the error"

ctl annulla-scontrino || fail "ctl annulla-scontrino failed"
ctl stato | grep -qx 'error-state: no' || fail "the error state stands after annulla-scontrino"
grep -qx 'CancelReceipt(1) -> 0' <(tr -d '\r' <"$dir/Simulatore/chiamate.log") || fail "no CancelReceipt in the call trace"
say "annulla-scontrino cleared it"

set +e
ctl boh 2>/dev/null
status=$?
set -e
[ "$status" = 2 ] || fail "an unknown ctl command exited $status, not 2"

stop_bridge
[ "$status" = 0 ] || fail "the bridge ended with $status on SIGTERM; its output: $(cat "$work/bridge.log")"
for line in 'tessiro\[ERRORE\] FiscalError.log: ' 'tessiro\[AZIONE\] .*Annullo Scontrino Fiscale Bloccato' \
  'tessiro\[INFO\] File eseguito: 20261208143000COR000001.txt' 'AZIONE: Chiusura Programma'; do
  grep -q "$line" "$work/bridge.log" || fail "the bridge's standard error lacks \"$line\": $(cat "$work/bridge.log")"
done
# The control socket lives in the user's runtime folder, named from the
# folder's canonical path.
socket_folder=${XDG_RUNTIME_DIR:+$XDG_RUNTIME_DIR/tessiro}
if [ -z "$socket_folder" ] && [ -d "/run/user/$(id -u)" ] && [ ! -L "/run/user/$(id -u)" ]; then
  socket_folder=/run/user/$(id -u)/tessiro
fi
socket_folder=${socket_folder:-${XDG_CACHE_HOME:-$HOME/.cache}/tessiro}
socket_name=$(printf '%s' "$(realpath "$dir")" | sha256sum | cut -c1-32).sock
[ ! -e "$socket_folder/$socket_name" ] || fail "the control socket outlived the bridge"
set +e
ctl stato 2>/dev/null
status=$?
set -e
[ "$status" = 4 ] || fail "ctl without a bridge exited $status, not 4"
say "the bridge logged to standard error and ended cleanly"

# With a display, the installed tessiro hands over to the installed window
# program (Xvfb is there when the window test ran before; otherwise skipped).
if command -v Xvfb >/dev/null && command -v xwininfo >/dev/null; then
  # -noreset: the server would reset when the check below leaves, and refuse
  # clients while it does.
  Xvfb :171 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  # Its socket appears before it takes clients; a window program started in
  # between could not open the display and would end.
  wait_for "Xvfb to answer on :171" sh -c "DISPLAY=:171 xwininfo -root >/dev/null 2>&1"
  windowed="$work/finestra"
  mkdir -p "$windowed"
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:171 tessiro --dir "$windowed" 2>"$work/window.log" &
  bridge_pid=$!
  wait_for "the window bridge to answer" tessiro ctl --dir "$windowed" stato >/dev/null 2>&1
  running=$(readlink "/proc/$bridge_pid/exe")
  [ "$running" = /usr/libexec/tessiro/tessiro ] ||
    fail "the window bridge runs $running, not the installed window program: $(cat "$work/window.log")"
  stop_bridge
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  [ "$status" = 0 ] || fail "the window bridge ended with $status on SIGTERM: $(cat "$work/window.log")"
  say "with a display, tessiro handed over to /usr/libexec/tessiro/tessiro"
else
  say "Xvfb or xwininfo not installed: the hand-over to the window program is not checked"
fi

# ------------------------------------------- the README route, as a user

# A new user that is not root, with nothing set: the default folder, init,
# the headless bridge without --dir, every example. A display-message file
# and the closure included; the closure last, as the examples' README says.
user=tessiro-prova$$
useradd --create-home --shell /bin/bash "$user" || fail "useradd $user failed"
created_user=$user
user_home=$(getent passwd "$user" | cut -d: -f6)
# In the user's home, with the environment of a fresh login and nothing else.
user_env=(setpriv --reuid="$user" --regid="$user" --init-groups
  env -i HOME="$user_home" USER="$user" PATH=/usr/bin:/bin LANG=C.UTF-8)
as_user() (cd "$user_home" && exec "${user_env[@]}" "$@")
# First the installer guide's package route, its commands as written there.
source "$(dirname "$0")/../e2e/doc-routes.sh"
route=$(route_block "$(dirname "$0")/../../docs/installer.md" package)
[ -n "$route" ] || fail "docs/installer.md has no package route"
route_out=$(as_user timeout 120 bash -e -c "$route" 2>&1) ||
  fail "the installer guide's package route failed as $user: $route_out"
grep -q "TOTALE EURO" <<<"$route_out" || fail "the package route printed no receipt: $route_out"
wait_for "the package route's bridge to end" sh -c "! pgrep -u '$user' -x tessiro"
say "as $user: the installer guide's package route, as written"
as_user tessiro init >"$work/init.log" || fail "tessiro init as $user failed: $(cat "$work/init.log")"
user_dir=$user_home/.local/share/tessiro
grep -qF "$user_dir" "$work/init.log" || fail "init did not prepare $user_dir: $(cat "$work/init.log")"
examples=/usr/share/doc/tessiro/examples
as_user tessiro check "$examples"/2*.txt >"$work/check.log" ||
  fail "tessiro check refuses an example: $(cat "$work/check.log")"
# exec all the way down, so that $! is the bridge itself.
(cd "$user_home" && exec "${user_env[@]}" tessiro --headless) 2>"$work/user-bridge.log" &
bridge_pid=$!
wait_for "the user's bridge to answer" as_user tessiro ctl --dir "$user_dir" stato >/dev/null 2>&1
for example in "$examples"/2*.txt; do
  name=$(basename "$example")
  as_user cp "$example" "$user_dir/Ostro/.$name"
  as_user mv "$user_dir/Ostro/.$name" "$user_dir/Ostro/$name"
  wait_for "$name to be run" sh -c "[ ! -e '$user_dir/Ostro/$name' ] && [ ! -e '$user_dir/IN/$name' ]"
done
wait_for "the bridge to be idle" sh -c "[ \"\$(tessiro config get --dir '$user_dir' Eps_Vuoto)\" = -1 ]"
for log in FiscalError.log NotFiscalError.log; do
  if grep -qs -e 'Tessiro_Error' -e 'PrinterError' "$user_dir/$log"; then
    fail "an example failed for $user: $(as_user tessiro log --dir "$user_dir")"
  fi
done
journal=$user_dir/Simulatore/giornale.txt
for printed in PANE LATTE DETERSIVO MARMELLATA 'BUONO SCONTO' 'CHIUSURA FISCALE'; do
  grep -qsF "$printed" "$journal" || fail "$printed is not on the paper roll: $(cat "$journal" 2>/dev/null)"
done
grep -qsF BENVENUTI "$user_dir/Simulatore/visore.txt" || fail "the display message is not on the display"
[ ! -e /usr/bin/.tessiro.lock ] && [ ! -e /usr/bin/Ostro ] || fail "the bridge used /usr/bin as its folder"
stop_bridge
[ "$status" = 0 ] || fail "the user's bridge ended with $status: $(cat "$work/user-bridge.log")"
say "as $user: init, the headless bridge without --dir in $user_dir, every example printed"

# ---------------------------------------------------------------- removal

mapfile -t owned < <(dpkg-query -L tessiro | while read -r p; do [ -d "$p" ] || echo "$p"; done)
dpkg -r tessiro >"$work/dpkg-r.log" 2>&1 || { cat "$work/dpkg-r.log" >&2; fail "dpkg -r failed"; }
for path in "${owned[@]}"; do
  [ "$path" = /etc/xdg/autostart/tessiro.desktop ] && continue
  [ ! -e "$path" ] || fail "$path is left after dpkg -r"
done
hash -r
command -v tessiro >/dev/null && fail "tessiro is still on PATH after dpkg -r"
dpkg -P tessiro >"$work/dpkg-p.log" 2>&1 || { cat "$work/dpkg-p.log" >&2; fail "dpkg -P failed"; }
installed=0
[ ! -e /etc/xdg/autostart/tessiro.desktop ] || fail "the autostart entry is left after dpkg -P"
say "dpkg -r removed the package's files (dpkg -P also the autostart conffile)"
userdel --remove "$created_user" >/dev/null 2>&1 || fail "userdel $created_user failed"
created_user=
say "install check passed"
