#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, ASan+UBSan) and runs each
# for SECONDS (default 20) from its seed corpus in fuzz/corpus/<target>/.
# What a run learns stays in build-fuzz/fuzz-corpus/<target>/ for the next
# run; a crash leaves its input in build-fuzz/fuzz-artifacts/ and fails.
# Reproduce one with: build-fuzz/fuzz/<target> build-fuzz/fuzz-artifacts/<file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset fuzz -DQOR_WERROR="$werror" >/dev/null
cmake --build --preset fuzz -j 2

targets=(kermit_assembler kermit_receive xmodem_receive ymodem_receive zmodem_reader
         zmodem_receive data_trigger image_check)
artifacts=build-fuzz/fuzz-artifacts
mkdir -p "$artifacts"
failed=()
for t in "${targets[@]}"; do
  work="build-fuzz/fuzz-corpus/$t"
  mkdir -p "$work"
  log="build-fuzz/fuzz-$t.log"
  status=0
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "build-fuzz/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=30 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$t-" "$work" "fuzz/corpus/$t" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz $t: ${runs:-?} runs in ${seconds}s, corpus $(ls "$work" | wc -l) inputs, exit $status"
  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    grep -E "ERROR|runtime error|harness|image check|trigger of|SUMMARY|Test unit written" "$log" | head -20
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failures in ${failed[*]} (logs: build-fuzz/fuzz-<target>.log)"
  exit 1
fi
