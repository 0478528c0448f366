#!/usr/bin/env bash
# Sets up the machine, builds the project and runs every test.
# Extra arguments go to ctest (for example: -R dispatcher_).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset default -DQOR_WERROR="$werror" >/dev/null
cmake --build --preset default
exec ctest --preset default "$@"
