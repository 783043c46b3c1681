# SPDX-License-Identifier: MIT
# Shared by the end-to-end scripts (sourced, not run).

# wait_for SECONDS COMMAND...: true as soon as COMMAND succeeds (its output
# dropped), false when SECONDS have passed without.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# e2e_single_bridge NAME: a work folder in $work and one bridge at a time in
# $bridge (its PID, or empty). At exit the bridge is killed and the folder
# removed; `fail` keeps the folder for a look and says where it is.
e2e_single_bridge() {
  work="$(mktemp -d "${TMPDIR:-/tmp}/tessiro-$1.XXXXXX")"
  bridge=""
  trap e2e_cleanup EXIT
}
e2e_stop_bridge_now() {
  [ -n "$bridge" ] && kill "$bridge" 2>/dev/null && wait "$bridge" 2>/dev/null
  bridge=""
}
e2e_cleanup() {
  e2e_stop_bridge_now
  rm -rf "$work"
}
fail() {
  echo "FAILED: $*" >&2
  trap - EXIT
  e2e_stop_bridge_now
  echo "--- files kept in $work ---" >&2
  exit 1
}
