#!/usr/bin/env bash
# Builds the benchmarks and prints their tables: the dispatcher's receive
# path, the device layer, every protocol against its peer program (extra
# arguments go to transfer_bench, e.g. --repeat 3), and 16 ports at once.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default --target dispatcher_bench device_bench transfer_bench \
  multiport_bench qorxfer qor_peer_exit_shim >/dev/null

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(uname -sr)"
echo "peers: C-Kermit $(dpkg-query -W -f='${Version}' ckermit), lrzsz $(dpkg-query -W -f='${Version}' lrzsz)"
echo
echo "== dispatcher"
./build/bench/dispatcher_bench
echo
echo "== device layer"
./build/bench/device_bench
echo
echo "== transfers"
./build/bench/transfer_bench "$@"
echo
echo "== many ports"
./build/bench/multiport_bench
