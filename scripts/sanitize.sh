#!/usr/bin/env bash
# Builds and runs the tests under AddressSanitizer+UBSan and under
# ThreadSanitizer. Extra arguments go to ctest (for example: -R dispatcher_).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
for preset in asan tsan; do
  cmake --preset "$preset" -DQOR_WERROR="$werror" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" "$@"
done
