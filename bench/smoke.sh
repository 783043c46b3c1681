#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the benchmarks in a configured build directory and runs each of
# them briefly: a check that they still build, run and report no error, so
# they do not rot between measurements. The figures of a smoke run mean
# nothing; docs/benchmarks.md says how to measure.
#
#   bench/smoke.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: bench/smoke.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source ./scripts/deps.sh
install_deps libbenchmark-dev python3

cmake -S . -B "$build" -DTESSIRO_BENCH=ON >/dev/null
cmake --build "$build"
"$build/bench/tessiro_bench" --benchmark_min_time=0.01 | tee "$build/bench-smoke.txt"
"$build/bench/tessiro_lan_bench" --benchmark_min_time=0.01 | tee -a "$build/bench-smoke.txt"
if grep -q "ERROR OCCURRED" "$build/bench-smoke.txt"; then
  echo "bench/smoke.sh: a benchmark reported an error" >&2
  exit 1
fi
IDLE_SECONDS=2 STARTUP_RUNS=1 STRACE_SECONDS=1 bench/whole-process.sh "$build/tessiro"
