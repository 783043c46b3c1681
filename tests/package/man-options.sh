#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The man page documents everything `tessiro --help` offers: every option
# (--name), every subcommand (the word after "tessiro" on a usage line) and
# every ctl command listed there. Read from the help text itself, so what
# is added to the command line later is held to the same rule. Also renders
# the page with `man --warnings` when man is installed: no warning allowed.
# Usage: man-options.sh TESSIRO_BINARY MAN_PAGE
set -euo pipefail
binary=$1
page=$2

help=$("$binary" --help)
# The page's text with the font changes gone and "\-" as "-".
text=$(sed -e 's/\\f[BIRP]//g' -e 's/\\f(..//g' -e 's/\\-/-/g' -e 's/\\e/\\/g' "$page")

missing=0
expect() { # what, word: the word whole, not inside a longer name
  local pattern
  pattern=$(sed 's/[][\.*^$/]/\\&/g' <<<"$2")
  if ! grep -q -E -e "(^|[^a-z-])$pattern([^a-z-]|\$)" <<<"$text"; then
    echo "man page lacks $1 $2"
    missing=$((missing + 1))
  fi
}

options=$(grep -o -E -- '--[a-z][a-z-]*[a-z]' <<<"$help" | sort -u)
subcommands=$(sed -n -E 's/^  tessiro ([a-z][a-z-]*).*/\1/p' <<<"$help" | sort -u)
# The ctl commands: the first word of each line of a list the help opens
# with "one of:", up to the blank line that ends it.
controls=$(awk '/one of:$/ {list = 1; next} list && /^ *$/ {list = 0} list {print $1}' <<<"$help" | sort -u)

[ -n "$options" ] && [ -n "$subcommands" ] || { echo "could not read options from --help"; exit 1; }
for o in $options; do expect option "$o"; done
for s in $subcommands; do expect subcommand "tessiro $s"; done
for c in $controls; do expect "ctl command" "$c"; done
echo "man-options: $(wc -w <<<"$options") options, $(wc -w <<<"$subcommands") subcommands, $(wc -w <<<"$controls") ctl commands checked, $missing missing"

if command -v man >/dev/null; then
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  if [ -n "$warnings" ]; then
    echo "man --warnings:"
    echo "$warnings"
    missing=$((missing + 1))
  fi
else
  echo "man-options: man is not installed, the rendering check is skipped"
fi
[ "$missing" = 0 ]
