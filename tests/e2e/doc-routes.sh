#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The README's set-up and tour, typed literally: every code block marked
#   <!-- route: NAME [background] [exit=N] -->
# runs in the order of the page, in a clean copy of the repository, each
# block as one shell script; "background" is the block of the first
# terminal (./run.sh), which keeps running while the others go in a second
# one. Each block must succeed (exit=N: only its last command fails, with N)
# and show what the tour says it shows.
#
# The copy's build/ is the ctest build folder, so ./run.sh only checks that
# the bridge is up to date there; ROUTE_FRESH_BUILD=1 lets ./run.sh build
# from nothing in the copy, as on a fresh machine (minutes).
#
# The installer guide's package route needs root and the installed package:
# tests/package/check-deb.sh --install runs it (sourcing this file for
# route_block) as a new user.
# Usage: doc-routes.sh SOURCE_DIR BUILD_DIR
set -uo pipefail

# route_block FILE NAME: the code block that follows "<!-- route: NAME ...-->".
route_block() {
  awk -v name="$2" '
    $0 ~ "^<!-- route: " name "( |-->)" {armed = 1; next}
    armed && /^```/ {if (inside) exit; inside = 1; next}
    inside {print}' "$1"
}
# route_names FILE: the marked routes in page order, with their options.
route_names() {
  sed -n -E 's/^<!-- route: (.*) -->$/\1/p' "$1"
}
[ "${BASH_SOURCE[0]}" != "$0" ] && return 0

here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
readme=$src/README.md

# ./run.sh installs what the build needs when some of it is missing; a test
# does not install packages on its own.
source "$src/scripts/deps.sh"
for package in "${TESSIRO_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    { echo "SKIPPED: $package is not installed, and ./run.sh would install it"; exit 0; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessiro-routes.XXXXXX")
first_terminal=""
cleanup() {
  if [ -n "$first_terminal" ]; then
    kill -TERM -- "-$first_terminal" 2>/dev/null
    wait "$first_terminal" 2>/dev/null
  fi
  first_terminal=""
}
fail() {
  echo "FAILED: $*" >&2
  cleanup
  echo "--- the first terminal said ---" >&2
  tail -n 20 "$work/terminal1.log" >&2 2>/dev/null
  echo "--- files kept in $work ---" >&2
  trap - EXIT
  exit 1
}
trap 'cleanup; rm -rf "$work"' EXIT

# The repository as a clone has it: the tracked files, no build, no demo/.
copy=$work/tessiro
mkdir "$copy"
if git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$src" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$copy")
else
  cp -a "$src/." "$copy" && rm -rf "$copy"/build* "$copy"/demo/Ostro/*
fi
[ -x "$copy/run.sh" ] || fail "the copy of $src has no run.sh"
if [ "${ROUTE_FRESH_BUILD:-0}" != 1 ]; then
  ln -s "$build" "$copy/build"
  wait_seconds=120
else
  wait_seconds=1800
fi

# What each route of the README must show. A route without a check here
# fails, so a new route in the README gets its check.
check_route() { # name output
  case $1 in
  receipt) grep -q "TOTALE EURO" <<<"$2" && grep -q "PANE" <<<"$2" &&
             [ -z "$(find "$copy/demo/Ostro" -name '2*')" ] ;;
  error)   grep -q "FINE CARTA" <<<"$2" && grep -q "error-state: yes" <<<"$2" ;;
  recover) grep -q "RESO VUOTI" <<<"$2" && grep -q "error-state: no" <<<"$2" &&
             [ "$(grep -c "TOTALE EURO" "$copy/demo/Simulatore/giornale.txt")" = 2 ] ;;
  *) echo "no check for the route \"$1\"" >&2; return 1 ;;
  esac
}

routes=0
while read -r name options; do
  block=$(route_block "$readme" "$name")
  [ -n "$block" ] || fail "the route \"$name\" has no code block after its mark"
  routes=$((routes + 1))
  if [[ " $options " == *" background "* ]]; then
    # The first terminal: its own process group, so that what it started
    # ends with it.
    (cd "$copy" && exec setsid bash -c "$block") >"$work/terminal1.log" 2>&1 &
    first_terminal=$!
    wait_for "$wait_seconds" sh -c "cd '$copy' && build/tessiro ctl --dir demo stato; [ \$? -le 1 ]" ||
      fail "the bridge of \"$name\" did not answer within $wait_seconds s"
    echo "route $name: running in the first terminal"
    continue
  fi
  expected=0
  [[ " $options " =~ \ exit=([0-9]+)\  ]] && expected=${BASH_REMATCH[1]}
  last_line=$(grep -c '' <<<"$block")
  # Every command that fails is noted with its line; the block goes on, as
  # it would in a terminal.
  script=$'trap \'echo "$LINENO $?" >>"$ROUTE_FAILURES"\' ERR\n'"$block"
  : >"$work/failures"
  output=$(cd "$copy" && ROUTE_FAILURES=$work/failures timeout 60 bash -c "$script" 2>&1)
  status=$?
  [ "$status" = 124 ] && fail "route $name did not end within 60 s: $output"
  failures=$(awk -v skip=1 '{print $1 - skip, $2}' "$work/failures")
  if [ "$expected" = 0 ]; then
    [ -z "$failures" ] || fail "route $name: commands failed (line status): $failures; output: $output"
  else
    [ "$failures" = "$last_line $expected" ] ||
      fail "route $name: expected only its last command to exit $expected, got (line status): ${failures:-none}; output: $output"
  fi
  check_route "$name" "$output" || fail "route $name did not show what the README says: $output"
  echo "route $name: as the README says"
done < <(route_names "$readme")
[ "$routes" -ge 4 ] || fail "only $routes routes are marked in the README"
[ -n "$first_terminal" ] || fail "no route runs in the first terminal"

# Ctrl+C in the first terminal ends the bridge cleanly.
kill -INT -- "-$first_terminal"
wait_for 30 sh -c "! kill -0 $first_terminal" || fail "the bridge did not end on Ctrl+C"
wait "$first_terminal"
status=$?
first_terminal=""
[ "$status" = 0 ] || fail "the first terminal ended with $status on Ctrl+C"
echo "PASSED: $routes routes of the README typed in order in $copy"
echo "the installer's package route is not run here (it needs root and the installed package): tests/package/check-deb.sh BUILD --install runs it"
