#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The folders of src/ stand in one order, bottom up, and a folder includes
# only folders below it: those listed for it below and no other. A rule
# that names a folder above its own is itself a fault. Whatever the lists
# say, the graph of folder-to-folder includes has no cycle. The libraries
# stand in one order too: a library links only libraries below it.
# Lists every include and every link that breaks a rule and fails.
# Usage: include-graph.sh [SOURCE_DIR]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root/src"

# Bottom up. bridge/ is the job pipeline (from the drop folder to a file's
# outcome, and the operator's recovery) and knows no printer make:
# simulator/ and lan/ implement the printer contract and are chosen in app/;
# lan/serve/ serves the simulator over the LAN protocol; ui/ sits beside
# app/ (and reads the kind of a file from errors/, to name the right
# recovery).
order=(core config errors printer commands bridge simulator lan lan/serve app ui)
declare -A may=(
  [core]=""
  [config]="core"
  [errors]="core config"
  [printer]="core config errors"
  [commands]="core config errors printer"
  [bridge]="core config errors printer commands"
  [simulator]="core config printer"
  [lan]="core config printer simulator"
  [lan/serve]="lan"
  # main() of each program lives here, the serving program's among them.
  [app]="core config errors printer commands bridge simulator lan lan/serve"
  [ui]="core config errors bridge app"
)

bad=0
declare -A rank=()
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done
for dir in "${!may[@]}"; do
  if [ -z "${rank[$dir]+set}" ]; then
    echo "rule for $dir/, which has no place in the order"
    bad=$((bad + 1))
    continue
  fi
  for below in ${may[$dir]}; do
    if [ -z "${rank[$below]+set}" ] || [ "${rank[$below]}" -ge "${rank[$dir]}" ]; then
      echo "the rule lets $dir/ include $below/, which does not stand below it"
      bad=$((bad + 1))
    fi
  done
done

declare -A edges=()
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

# The time is read, and the process sleeps, only in core/Clock.cpp: the
# rest takes a Clock, so tests move time on exactly and never wait. Timers
# that run on the event loop (QTimer) stay, and so do the deadlines of the
# blocking socket waits (QDeadlineTimer), which the system measures anyway.
timeReads='(steady|system|high_resolution)_clock::now|QDateTime::current|QDate::currentDate|QTime::currentTime|QElapsedTimer'
timeReads+='|(^|[^_[:alnum:].>])(msleep|usleep|sleep|nanosleep|sleep_for|sleep_until|clock_gettime|gettimeofday|time)\('
while IFS= read -r hit; do
  echo "src/$hit: reads the time or sleeps outside core/Clock.cpp; take a Clock"
  bad=$((bad + 1))
done < <(grep -rnE --include='*.h' --include='*.cpp' "$timeReads" . | sed 's|^\./||' | grep -v '^core/Clock\.cpp:')

# The libraries, bottom up; a library links only those before it. Programs
# (executables, tests) link whatever they need.
libraries=(tessiro_core tessiro_lan tessiro_serve tessiro_app tessiro_ui)
declare -A level=()
for i in "${!libraries[@]}"; do level[${libraries[$i]}]=$i; done
links=0
while IFS= read -r line; do
  set -- ${line//[()]/ }
  shift # target_link_libraries
  from=$1
  [ -n "${level[$from]+set}" ] || continue
  shift
  for to in "$@"; do
    [ -n "${level[$to]+set}" ] || continue
    links=$((links + 1))
    if [ "${level[$to]}" -ge "${level[$from]}" ]; then
      echo "$from links $to, which does not stand below it"
      bad=$((bad + 1))
    fi
  done
done < <(cat ../CMakeLists.txt $(find . -name CMakeLists.txt) | grep -oE 'target_link_libraries\([^)]*\)')

echo "include graph: ${#edges[@]} folder-to-folder edges, $links library links, $bad problems"
[ "$bad" = 0 ]
