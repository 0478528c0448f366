#!/usr/bin/env bash
# Sets up the machine, builds StellixUp and runs one recovery on the console
# against the simulated receiver (a null-modem pair of pseudo-terminals).
# Arguments go to stellixup; `./scripts/run.sh --type rootfs` recovers a RootFS.
# The wizard window itself: ./build/app/stellixup
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target stellixup stellix-receiver-sim sample_images

type=kernel
for ((i = 1; i <= $#; i++)); do
  [ "${!i}" = "--type" ] && { j=$((i + 1)); type="${!j}"; }
done
image=build/samples/kernel.img
[ "$type" = "rootfs" ] && image=build/samples/rootfs.img

out=$(mktemp)
./build/tools/stellix-receiver-sim --type "$type" --expect "$image" --timeout 120 >"$out" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 100); do grep -q '^PORT ' "$out" && break; sleep 0.05; done
port=$(awk '/^PORT /{print $2; exit}' "$out")
status=0
./build/app/stellixup --headless --port "$port" --image "$image" --timeout 120 "$@" || status=$?
sim_status=0
wait $sim || sim_status=$?
grep '^sim:' "$out" || true
exit $(( status != 0 ? status : sim_status ))
