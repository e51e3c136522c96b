#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds one libFuzzer target with clang in build-fuzz/ and runs it for a time.
#   usage: fuzz/run.sh TARGET SECONDS
#   TARGET: fuzz_decode_{flac,wav,aiff,m4a,mp3,wv,ape,tta,tak,ogg,wma,mka,caf}
#           fuzz_decoded_length_{flac,wav,m4a,mp3,wv,ape,tta,tak,ogg,wma,mka,caf}
#           fuzz_analyze_{flac,wav} fuzz_json fuzz_utf8
# The corpus grows in build-fuzz/corpus/TARGET (seeded by make-seeds.sh),
# findings land in build-fuzz/findings/TARGET/, the log in build-fuzz/logs/.
# Prints executions, coverage (cov/ft of the last status line) and findings.
set -euo pipefail
target=${1:?usage: run.sh TARGET SECONDS}
seconds=${2:?usage: run.sh TARGET SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRONE_FUZZ_BUILD:-$root/build-fuzz}

"$root/tools/install-deps.sh" clang libclang-rt-14-dev
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DKESTRONE_FUZZ=ON -DKESTRONE_WITH_UI=OFF -DKESTRONE_BUILD_TESTS=OFF >/dev/null
fi
# Builds are serialised: two runs started together share one build tree.
# KESTRONE_FUZZ_NO_BUILD=1 runs the binary as built, e.g. beside a second run.
if [ "${KESTRONE_FUZZ_NO_BUILD:-0}" != 1 ] || [ ! -x "$build/fuzz/$target" ]; then
  flock "$build/.build-lock" cmake --build "$build" --target "$target" -j2 >/dev/null
fi

corpus=$build/corpus/$target
if [ ! -d "$corpus" ]; then
  flock "$build/.build-lock" "$root/fuzz/make-seeds.sh" "$build/seeds"
  mkdir -p "$corpus"
  cp "$build/seeds/$target"/* "$corpus/"
fi
case "$target" in
  fuzz_decode_* | fuzz_decoded_length_*) max_len=65536 ;;
  fuzz_analyze_*) max_len=32768 ;;
  *) max_len=4096 ;;
esac
findings=$build/findings/$target
mkdir -p "$findings" "$build/logs"
log=$build/logs/$target.log

# A private tmpfs folder per process keeps the written inputs off the disk.
export TMPDIR=${TMPDIR:-/dev/shm}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
# With -jobs the fuzzer writes fuzz-0.log into its working folder: one per target.
scratch=$build/scratch/$target
mkdir -p "$scratch"
cd "$scratch"
rm -f fuzz-0.log
before=$(find "$findings" -type f | wc -l)
status=0
"$build/fuzz/$target" "$corpus" -artifact_prefix="$findings/" -max_len="$max_len" -timeout=10 \
  -rss_limit_mb=2048 -jobs=1 -workers=1 -max_total_time="$seconds" -print_final_stats=1 \
  >"$log" 2>&1 || status=$?
[ -f fuzz-0.log ] && cat fuzz-0.log >>"$log" && rm -f fuzz-0.log
after=$(find "$findings" -type f | wc -l)

last=$(grep -E '#[0-9]+.*(cov|ft):' "$log" | tail -n 1 || true)
echo "target:     $target"
echo "time:       ${seconds} s"
echo "executions: $(grep -E '^stat::number_of_executed_units' "$log" | tail -n 1 | awk '{print $2}')"
echo "coverage:   $(echo "$last" | grep -oE 'cov: [0-9]+ ft: [0-9]+' || echo "?")"
echo "corpus:     $(find "$corpus" -type f | wc -l) files"
echo "findings:   $((after - before)) new ($(find "$findings" -type f | wc -l) kept in $findings)"
echo "log:        $log"
if [ "$status" -ne 0 ]; then
  grep -E 'ERROR|SUMMARY|breaks its promise|fault|not strict' "$log" | head -n 5
  exit "$status"
fi
