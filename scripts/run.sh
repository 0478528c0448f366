#!/usr/bin/env bash
# Sets up the machine, builds StellixUp and runs one recovery against the
# simulated receiver (a null-modem pair of pseudo-terminals), with a sample
# image ready in build/samples/.
#  - With a display: the wizard window starts; the simulator's port is COM9 in
#    the port list and the simulator waits for a kernel image.
#  - Without one (or with --headless): the same recovery runs on the console.
# Arguments go to stellixup; `./scripts/run.sh --headless --type rootfs`
# recovers a RootFS image on the console.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target stellixup stellix-receiver-sim sample_images

headless=false
type=kernel
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  case "${args[i]}" in
    --headless) headless=true ;;
    --type) type="${args[i + 1]:-kernel}" ;;
  esac
done
[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && headless=true
image=build/samples/kernel.img
[ "$type" = "rootfs" ] && image=build/samples/rootfs.img

out=$(mktemp)
./build/tools/stellix-receiver-sim --type "$type" --expect "$image" >"$out" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 100); do grep -q '^PORT ' "$out" && break; sleep 0.05; done
port=$(awk '/^PORT /{print $2; exit}' "$out")

status=0
if $headless; then
  filtered=()
  for a in "${args[@]}"; do [ "$a" != "--headless" ] && filtered+=("$a"); done
  ./build/app/stellixup --headless --port "$port" --image "$image" --timeout 120 \
    "${filtered[@]}" || status=$?
else
  echo "The simulated receiver is COM9; choose it, then the image $image."
  COM9="$port" ./build/app/stellixup || status=$?
fi
kill $sim 2>/dev/null || true
grep '^sim:' "$out" || true
exit $status
