#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds, and starts the bridge on
# ./demo with the simulated printer. Extra arguments go to tessiro.
set -euo pipefail
cd "$(dirname "$0")"
source ./scripts/deps.sh
install_deps

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSIRO_TESTS=OFF
cmake --build build --target tessiro

mkdir -p demo
# A first run gets a working port; later runs keep what the operator set.
if [ ! -f demo/_Configurazione.ini ]; then
  ./build/tessiro config set --dir demo Eps_COM 1
  ./build/tessiro config set --dir demo Eps_Setting 9600,N,8,1
fi
exec ./build/tessiro --dir demo "$@"
