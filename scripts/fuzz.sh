#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, ASan+UBSan) and runs each
# for SECONDS (default 20) from its seed corpus in fuzz/corpus/<target>/, as many
# at once as there are cores (FUZZ_JOBS overrides).
# What a run learns stays in build-fuzz/fuzz-corpus/<target>/ for the next
# run; a crash leaves its input in build-fuzz/fuzz-artifacts/ and fails.
# Reproduce one with: build-fuzz/fuzz/<target> build-fuzz/fuzz-artifacts/<file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
parallel="${FUZZ_JOBS:-$(nproc)}"
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset fuzz -DQOR_WERROR="$werror" >/dev/null
cmake --build --preset fuzz -j "$parallel"

targets=(kermit_assembler kermit_receive xmodem_receive ymodem_receive zmodem_reader
         zmodem_receive data_trigger image_check)
artifacts=build-fuzz/fuzz-artifacts
mkdir -p "$artifacts"

# Runs one target; its exit status goes to build-fuzz/fuzz-<target>.status.
run_target() {
  local t="$1" work="build-fuzz/fuzz-corpus/$1" log="build-fuzz/fuzz-$1.log" status=0
  mkdir -p "$work"
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "build-fuzz/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=30 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$t-" "$work" "fuzz/corpus/$t" \
    >"$log" 2>&1 || status=$?
  echo "$status" >"build-fuzz/fuzz-$t.status"
}

for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  run_target "$t" &
done
wait

failed=()
for t in "${targets[@]}"; do
  log="build-fuzz/fuzz-$t.log"
  status=$(cat "build-fuzz/fuzz-$t.status")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz $t: ${runs:-?} runs in ${seconds}s, corpus $(ls "build-fuzz/fuzz-corpus/$t" | wc -l) inputs, exit $status"
  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    grep -E "ERROR|runtime error|harness|image check|trigger of|SUMMARY|Test unit written" "$log" | head -20
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failures in ${failed[*]} (logs: build-fuzz/fuzz-<target>.log)"
  exit 1
fi
