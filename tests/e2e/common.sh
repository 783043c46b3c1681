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
