#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (the fuzz preset) and runs each for SECONDS (default 10), seeded from the
# test fixtures, after replaying the kept regression inputs. Any crash, sanitizer report, timeout
# or out-of-memory stops with a non-zero status; the input is left in build-fuzz/artifacts/.
#   tools/fuzz.sh [SECONDS] [TARGET ...]      targets: dbf memo mdx paradox describe reportfile
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(dbf memo mdx paradox describe reportfile)

# Seeds first: a seed list that matches no file (a renamed fixture, a wrong suffix) fails here
# instead of leaving a target to run unseeded.
seed() { # seed TARGET PREFIX_BYTE FILE...
  local dir=build-fuzz/corpus/$1 prefix=$2 target=$1 seeded=0; shift 2
  mkdir -p "$dir"
  for f in "$@"; do
    [ -f "$f" ] || continue
    if [ -n "$prefix" ]; then { printf "$prefix"; cat "$f"; } > "$dir/$(basename "$f")"; else cp "$f" "$dir/"; fi
    seeded=$((seeded + 1))
  done
  [ $seeded -gt 0 ] || { echo "fuzz: no seed for $target in: $*"; exit 1; }
}
fx=tests/fixtures
seed dbf '\x00' $fx/dbase/*.dbf $fx/real/dbase/*.dbf $fx/mdx/*/*.DBF
seed memo '\x01\x01' $fx/dbase/*.dbt $fx/real/dbase/*.dbt
seed memo '\x02\x01' $fx/dbase/*.fpt $fx/real/dbase/*.fpt
seed mdx '' $fx/mdx/*/*.MDX
seed paradox '\x00' $fx/paradox/*.db $fx/real/paradox/*.db $fx/real/paradox/*.DB
seed reportfile '' $fx/report/*.zrep
seed describe '\x00' $fx/dbase/*.dbf $fx/real/dbase/*.dbf
seed describe '\x02' $fx/paradox/*.db $fx/real/paradox/*.DB

gui=OFF
for t in "${targets[@]}"; do [ "$t" = reportfile ] && gui=ON; done
cmake --preset fuzz -DZORVIK_GUI=$gui >/dev/null
cmake --build --preset fuzz -j"${JOBS:-2}" --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

# Returning freed memory to the system can stall for seconds in some virtual machines; libFuzzer
# would report that as a hang of the input.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:allocator_release_to_os_interval_ms=-1:quarantine_size_mb=64
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p build-fuzz/artifacts
for t in "${targets[@]}"; do
  bin=build-fuzz/fuzz/fuzz_$t
  [ -x "$bin" ] || { echo "fuzz: no target $t"; exit 1; }
  reg=tests/fuzz-regressions/$t
  if [ -d "$reg" ] && [ -n "$(ls -A "$reg")" ]; then
    "$bin" -runs=0 "$reg"/* >/dev/null 2>build-fuzz/artifacts/$t-regressions.log \
      || { cat build-fuzz/artifacts/$t-regressions.log; echo "fuzz: $t fails on a kept regression input"; exit 1; }
  fi
  mkdir -p build-fuzz/corpus/$t
  # A dBASE header with its descriptors and a few records fits in 4 KiB, and the description
  # reads the whole of a table and its companions: longer inputs there mostly add bytes to the
  # same decoding, and cost the run several times the executions.
  case $t in dbf) maxlen=4096 ;; describe) maxlen=8192 ;; *) maxlen=65536 ;; esac
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=$maxlen \
    -artifact_prefix=build-fuzz/artifacts/$t- build-fuzz/corpus/$t > build-fuzz/artifacts/$t.log 2>&1 \
    || { tail -60 build-fuzz/artifacts/$t.log; echo "fuzz: $t FAILED"; exit 1; }
  echo "fuzz: $t ok, $(grep -o 'Done [0-9]* runs' build-fuzz/artifacts/$t.log | tail -1) in ${seconds} s"
done
