#!/usr/bin/env bash
# Builds and runs the tests under AddressSanitizer+UBSan and under
# ThreadSanitizer. Extra arguments go to ctest (for example: -R dispatcher_);
# without any, the whole recoveries against the simulator program are left to
# the normal build (they are slow under the sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
args=("$@")
[ ${#args[@]} -eq 0 ] && args=(-E 'recovery_e2e|WholeRecovery')
for preset in asan tsan; do
  cmake --preset "$preset" -DQOR_WERROR="$werror" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" "${args[@]}"
done
