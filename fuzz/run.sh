#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each for a
# bounded time: fuzz/run.sh [SECONDS] (default 60). Seeds come from
# examples/ and tests/data/; the corpora grow in build-fuzz/corpus from run
# to run; what a run finds is left in fuzz/findings/. FUZZ_JOBS (default 2)
# bounds the build's parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! command -v clang++ >/dev/null; then
  echo "SKIPPED: clang++ is not installed" >&2
  exit 0
fi
build=build-fuzz
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSIRO_FUZZ=ON -DTESSIRO_TESTS=OFF >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target fuzz_records fuzz_ini fuzz_command_file

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The corpora live in the build folder, so each run goes on from what the
# last one reached; the seeds are copied in afresh every time.
corpus="$build/corpus"
mkdir -p fuzz/findings "$corpus/records" "$corpus/ini" "$corpus/file"
for f in examples/*.txt tests/data/commands/*; do
  [ -f "$f" ] || continue
  cp "$f" "$corpus/records/" ; cp "$f" "$corpus/file/"
done
for f in tests/data/ini/* fuzz/corpus/ini/*; do
  if [ -f "$f" ]; then cp "$f" "$corpus/ini/"; fi
done
printf 'Varie\0Eps_Vuoto\0-1\0[Varie]\r\nEps_Vuoto=0\r\n; nota\r\n[Altro]\r\nX=1\r\n' > "$corpus/ini/seed1"
printf 'Varie\0Kelmora_CORR\0COR000001.txt\0; condiviso\r\n[Generale]\r\nNegozio=Bottega\r\n\r\n[Varie]\r\nEps_COM=1\r\nChiave=estranea\r\n' > "$corpus/ini/seed2"
printf 'Nuova\0K\0v\0\xef\xbb\xbf[Varie]\nA=1\n[varie]\nB=2' > "$corpus/ini/seed3"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
run() {
  local target=$1 corpus_dir=$2
  echo "== $target: ${seconds}s" >&2
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
       -artifact_prefix=fuzz/findings/"$target"- "$corpus_dir" 2> "$work/$target.log"; then
    tail -n 40 "$work/$target.log" >&2
    status=1
  else
    grep -E '^(#[0-9]+|Done).*' "$work/$target.log" | tail -n 1 >&2 || true
  fi
}
run fuzz_records "$corpus/records"
run fuzz_ini "$corpus/ini"
run fuzz_command_file "$corpus/file"
exit $status
