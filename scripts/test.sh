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
if [ $# -gt 0 ]; then
  exec ctest --preset default "$@"
fi
# Whole recoveries against the simulator program stall now and then (an open
# problem, see the issue notes): they get up to three tries; everything else one.
whole='recovery_e2e|WholeRecovery'
ctest --preset default -E "$whole"
ctest --preset default -R "$whole" --repeat until-pass:3
