#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the build needs (Debian 12), builds the bridge alone, and runs
# it headless on ./demo with the simulated printer, in this terminal until
# Ctrl+C. Extra arguments go to tessiro.
set -euo pipefail
cd "$(dirname "$0")"
source ./scripts/deps.sh
install_deps

# A build folder configured before (by hand, with the tests) keeps its
# settings: only the bridge is brought up to date in it.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIRO_TESTS=OFF
fi
cmake --build build --target tessiro

# Creates demo/ and gives it the simulated printer's port values where none
# are stored; what the operator set stays.
./build/tessiro init --dir demo
exec ./build/tessiro --headless --dir demo "$@"
