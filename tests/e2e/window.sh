#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The window on a real X server: starts the program under Xvfb with a tray
# host, clicks its tray icon, hides the window, drops a failing fiscal
# command file and checks that the window comes back to the front, on top,
# with the failure filed. Saves a screenshot of the screen at that moment.
#
# Usage: window.sh PATH/TO/tessiro [SCREENSHOT.png]
# The screenshot goes to docs/screenshot.png of the repository by default.
# Needs Xvfb, trayer, xdotool, ImageMagick's import and xwininfo/xprop; as
# root it installs what is missing, otherwise it says SKIPPED and exits 0.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
tessiro="${1:-}"
screenshot="${2:-$here/../../docs/screenshot.png}"

if [ -z "$tessiro" ] || [ ! -x "$tessiro" ]; then
  echo "usage: $0 PATH/TO/tessiro [SCREENSHOT.png]" >&2
  exit 1
fi
tessiro="$(cd "$(dirname "$tessiro")" && pwd)/$(basename "$tessiro")"

# Command -> Debian package that provides it.
declare -A package_of=(
  [Xvfb]=xvfb [trayer]=trayer [xdotool]=xdotool [import]=imagemagick [xwininfo]=x11-utils [xprop]=x11-utils
)
missing=()
for tool in "${!package_of[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("${package_of[$tool]}")
done
if [ ${#missing[@]} -gt 0 ]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  if [ "$(id -u)" != 0 ]; then
    echo "SKIPPED: missing ${missing[*]} (run as root to install them)"
    exit 0
  fi
  echo "Installing: ${missing[*]}" >&2
  apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    { echo "FAILED: could not install ${missing[*]}" >&2; exit 1; }
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/tessiro-e2e.XXXXXX")"
prog="$work/prog"
mkdir -p "$prog"
pids=()
passed=0

cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[$i]}" 2>/dev/null
  done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    wait "${pids[$i]}" 2>/dev/null
  done
  if [ "$passed" = 1 ]; then
    rm -rf "$work"
  else
    echo "--- program output ---" >&2
    cat "$work/tessiro.log" >&2 2>/dev/null
    echo "--- files kept in $work ---" >&2
  fi
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# wait_for SECONDS COMMAND...: true as soon as COMMAND succeeds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.2
  done
}

# Xvfb picks a free display itself and writes its number to fd 9.
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 15 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

# Qt must use the XEmbed tray that trayer hosts, not a D-Bus one.
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

trayer --edge top --align right --widthtype pixel --width 120 --height 32 --SetDockType true \
  --transparent false --tint 0x333333 >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 15 xdotool search --onlyvisible --class trayer || fail "trayer did not start"

"$tessiro" config set --dir "$prog" Eps_COM 1 || fail "could not seed the configuration"

"$tessiro" --dir "$prog" >"$work/tessiro.log" 2>&1 &
app=$!
pids+=($app)

caption='^Tessiro FP Series'
main_window() { xdotool search --name "$caption" | head -n1; }
viewable() { xwininfo -id "$1" | grep -q 'Map State: IsViewable'; }
# The tray icon: the program's one visible window that is not the main one.
tray_icon() {
  local w
  for w in $(xdotool search --onlyvisible --class tessiro); do
    xdotool getwindowname "$w" | grep -q "$caption" || { echo "$w"; return 0; }
  done
  return 1
}

wait_for 20 tray_icon || fail "no tray icon appeared"
icon="$(tray_icon)"
if win="$(main_window)" && [ -n "$win" ] && viewable "$win"; then
  fail "the window is shown at start instead of waiting in the tray"
fi

xdotool mousemove --window "$icon" 8 8 click 1
wait_for 10 bash -c "xdotool search --onlyvisible --name '$caption' | grep -q ." ||
  fail "a left click on the tray icon did not show the window"
win="$(xdotool search --onlyvisible --name "$caption" | head -n1)"
echo "window shown from the tray"

# NASCONDI sits in the bottom right corner of the window.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH - 45)) $((HEIGHT - 20)) click 1
wait_for 10 bash -c "! xwininfo -id $win | grep -q 'Map State: IsViewable'" ||
  fail "NASCONDI did not hide the window"
kill -0 "$app" 2>/dev/null || fail "the program ended"
echo "window hidden to the tray"

wait_for 10 test -d "$prog/Ostro" || fail "no drop folder"
mkdir -p "$prog/Simulatore"
printf '[Guasti]\r\nSellDept=7\r\n' >"$prog/Simulatore/guasti.ini"
# Written under a dot-name and renamed, so the bridge never sees half a file.
printf 'F2:1:PANE:1000:150:3\r\n' >"$prog/Ostro/.job"
mv "$prog/Ostro/.job" "$prog/Ostro/20261208000001COR_test.txt"

wait_for 20 grep -q 'COR_test.txt;' "$prog/FiscalError.log" || fail "no failure record in FiscalError.log"
win="$(main_window)"
wait_for 10 viewable "$win" || fail "the window did not come back with the error"
xprop -id "$win" _NET_WM_STATE | grep -q '_NET_WM_STATE_ABOVE' || fail "the window is not kept on top"
echo "window back on top with the error"

sleep 1 # let it paint
mkdir -p "$(dirname "$screenshot")"
import -window root "$screenshot" || fail "no screenshot"
echo "screenshot: $screenshot"

passed=1
echo "PASSED"
exit 0
