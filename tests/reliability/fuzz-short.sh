#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The libFuzzer targets for a few seconds each (FUZZ_SECONDS, default 10),
# for ./test.sh: skips when clang++ is missing. fuzz/run.sh is the long run.
set -euo pipefail
cd "$(dirname "$0")/../.."
if ! command -v clang++ >/dev/null; then
  echo "fuzz-short: SKIPPED: clang++ is not installed" >&2
  exit 0
fi
exec fuzz/run.sh "${FUZZ_SECONDS:-10}"
