#!/usr/bin/env bash
# Fresh machine to a running client: installs what is needed, builds, starts.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target Tavi
exec build/Tavi "$@"
