#!/usr/bin/env bash
# Installs what is missing, builds and starts the editor. With no arguments it starts
# with the built-in simulated processor (demo mode); arguments go to the editor as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" -j "$(nproc)" --target veltrane
if [ $# -eq 0 ]; then
  set -- --demo
fi
exec "$root/build/src/app/veltrane" "$@"
