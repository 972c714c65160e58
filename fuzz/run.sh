#!/usr/bin/env bash
# The fuzzing campaign: builds the libFuzzer targets with AddressSanitizer and
# UndefinedBehaviorSanitizer, seeds each with the shared corpus and its own
# regression inputs, and runs it for MINUTES (default 15) with limits that turn
# unbounded memory and hangs into findings. Findings land in
# build-fuzz/findings/<target>/; copy each one you fix into
# fuzz/regressions/<format>/ so that CI replays it.
#
#   bash fuzz/run.sh [TARGET...]        e.g. bash fuzz/run.sh 3ds dxf
#   MINUTES=1 bash fuzz/run.sh          a quick pass over every target
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
minutes=${MINUTES:-15}
build="$top/build-fuzz"
corpus="$top/../shared/corpus"

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DTRIVEX_FUZZ=ON -DTRIVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

# Target, then the corpus folders and file patterns that seed it.
seeds_for() {
  case $1 in
    obj) echo "obj" ;;
    mtl) echo "obj" ;;
    raw) echo "raw" ;;
    tpoly) echo "" ;;
    aoff) echo "geo" ;;
    nff) echo "nff" ;;
    wtk) echo "wtk nff" ;;
    3ds) echo "3ds" ;;
    dxf) echo "dxf" ;;
    ttf) echo "" ;;
    convert) echo "" ;;
  esac
}

# The project's own test files that the target reads.
test_seeds_for() {
  case $1 in
    obj) echo "golden/obj_* cli/*.obj" ;;
    raw) echo "golden/raw_* cli/*.raw" ;;
    tpoly) echo "golden/tpoly_* cli/*.tpo" ;;
    aoff) echo "cli/*.geo" ;;
    nff) echo "golden/nff_* cli/*.nff" ;;
    wtk) echo "golden/wtk_*" ;;
    dxf) echo "golden/dxf_*" ;;
  esac
}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for bin in "$build"/bin/fuzz_*; do targets+=("$(basename "$bin" | sed 's/^fuzz_//')"); done
fi

printf '%-8s %10s %8s %8s %9s\n' target executions coverage features findings
for t in "${targets[@]}"; do
  bin="$build/bin/fuzz_$t"
  [ -x "$bin" ] || { echo "no fuzz target $t" >&2; exit 2; }
  work="$build/campaign/$t"
  findings="$build/findings/$t"
  mkdir -p "$work" "$findings"
  cp -n "$top/fuzz/regressions/$t/"* "$work/" 2>/dev/null || true
  # find rounds sizes up to whole units, so "-size -1M" would pick only empty
  # files: count in kilobytes. Big files slow every execution for little gain.
  for folder in $(seeds_for "$t"); do
    [ -d "$corpus/$folder" ] && find "$corpus/$folder" -type f -size -128k -exec cp -n {} "$work/" \;
  done
  for pattern in $(test_seeds_for "$t"); do
    for file in "$top"/tests/data/$pattern; do
      [ -f "$file" ] && cp -n "$file" "$work/"
    done
  done
  if [ "$t" = convert ]; then
    # The first byte picks the reader and the second the writer. Which byte
    # means which reader depends on the format table, so every file goes in
    # behind each of the first 16 and the fuzzer keeps those that read.
    find "$corpus" -mindepth 2 -type f -size -16k | while read -r file; do
      name=$(basename "$(dirname "$file")")-$(basename "$file" | tr -c 'A-Za-z0-9._\n-' _)
      for i in $(seq 0 15); do
        [ -e "$work/$i-$name" ] || { printf "\\x$(printf %02x "$i")\\x$(printf %02x "$i")"; cat "$file"; } >"$work/$i-$name"
      done
    done
  fi
  if [ "$t" = ttf ]; then
    for font in /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf; do
      [ -f "$font" ] && cp -n "$font" "$work/"
    done
  fi
  log="$build/campaign/$t.log"
  # -fork keeps going past a finding so one run reports them all.
  "$bin" "$work" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time=$((minutes * 60)) -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$findings/" >"$log" 2>&1 || true
  last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -1 || true)
  total=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$last")
  cov=$(grep -oE 'cov: [0-9]+' <<<"$last" | awk '{print $2}' || true)
  ft=$(grep -oE 'ft: [0-9]+' <<<"$last" | awk '{print $2}' || true)
  found=$(find "$findings" -type f | wc -l)
  printf '%-8s %10s %8s %8s %9s\n' "$t" "${total:-?}" "${cov:-?}" "${ft:-?}" "$found"
done
echo "logs in $build/campaign, findings in $build/findings"
