#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the build needs (Debian 12), builds from nothing and runs the
# tests. SANITIZE=1 builds and runs them with ASan+UBSan.
set -euo pipefail
cd "$(dirname "$0")"
source ./scripts/deps.sh
install_deps
install_comma_locale
install_share_tools

build=build-test
cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIRO_TESTS=ON)
if [ "${SANITIZE:-0}" != 1 ]; then
  # Compiled without the optimiser, by clang, for a short build
  # (CONTRIBUTING.md).
  install_deps clang
  cmake_args+=(-DTESSIRO_FAST_BUILD=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
else
  build=build-sanitize
  cmake_args+=(-DTESSIRO_SANITIZE=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
rm -rf "$build"
cmake -S . -B "$build" "${cmake_args[@]}"
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
if [ "${SANITIZE:-0}" != 1 ]; then
  # The libFuzzer targets for a few seconds each (skipped without clang++;
  # they carry ASan+UBSan themselves, so once is enough).
  tests/reliability/fuzz-short.sh
  # The Debian package's contents (the sanitizer build links ASan: skipped).
  if command -v dpkg-deb >/dev/null; then tests/package/check-deb.sh "$build"; fi
fi
