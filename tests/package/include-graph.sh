#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The folders of src/ use one another in one direction only. Each folder
# may include the folders listed for it below and no other; and whatever
# the list says, the graph of folder-to-folder includes has no cycle.
# Lists every include that breaks a rule and fails.
# Usage: include-graph.sh [SOURCE_DIR]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root/src"

# Top-down: app -> commands -> printer -> errors -> config -> core.
# simulator/ and lan/ implement the printer contract; ui/ sits beside app/
# (and reads the kind of a file from errors/, to name the right recovery).
declare -A may=(
  [core]=""
  [config]="core"
  [errors]="core config"
  [printer]="core config errors"
  [simulator]="core config printer"
  [lan]="core config printer simulator"
  [commands]="core config errors printer"
  [app]="core config errors printer simulator lan commands"
  [ui]="core config app errors"
  # The serving program's main() starts as the bridge's subcommands do.
  [lan/serve]="core config printer simulator lan app"
)

declare -A edges=()
bad=0
while IFS= read -r dir; do
  if [ -z "${may[$dir]+set}" ]; then
    echo "src/$dir: a folder with no rule; add it to ${BASH_SOURCE[0]##*/}"
    bad=$((bad + 1))
    continue
  fi
  while IFS=: read -r file line target; do
    [ "$target" = "$dir" ] && continue
    edges["$dir $target"]=1
    case " ${may[$dir]} " in
      *" $target "*) ;;
      *) echo "src/$file:$line: $dir/ may not include $target/"; bad=$((bad + 1)) ;;
    esac
  done < <(grep -noE '^#include "[a-z/]+/' "$dir"/*.h "$dir"/*.cpp 2>/dev/null |
           sed -E 's|^([^:]+):([0-9]+):#include "([a-z/]+)/$|\1:\2:\3|')
done < <(find . -mindepth 1 -type d | sed 's|^\./||' | sort)

# Depth-first search over the folder graph; a folder met again while it is
# still on the path closes a cycle.
declare -A state=()
cycle=""
visit() {
  local from=$1 edge to
  state[$from]=open
  for edge in "${!edges[@]}"; do
    [ "${edge%% *}" = "$from" ] || continue
    to=${edge#* }
    if [ "${state[$to]:-}" = open ]; then
      cycle="$from -> $to"
      return 1
    fi
    if [ -z "${state[$to]:-}" ]; then
      visit "$to" || { cycle="$from -> $cycle"; return 1; }
    fi
  done
  state[$from]=done
}
for dir in "${!may[@]}"; do
  if [ -z "${state[$dir]:-}" ] && ! visit "$dir"; then
    echo "cycle between folders: $cycle"
    bad=$((bad + 1))
    break
  fi
done

echo "include graph: ${#edges[@]} folder-to-folder edges, $bad problems"
[ "$bad" = 0 ]
