#!/usr/bin/env bash
# Sets up the machine, builds StellixUp and runs it; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target stellixup
exec ./build/app/stellixup "$@"
