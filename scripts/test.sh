#!/usr/bin/env bash
# Installs what is missing, builds the whole project with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the test suite, runs the tests of what runs
# on threads again with ThreadSanitizer, then builds the fuzz targets with
# clang and replays their regression inputs. Any sanitizer report fails.
set -euo pipefail
# Golden tests rewrite their expected files instead of checking them while
# this variable is set; a run that checks nothing must not pass.
if [ -n "${TRIVEX_UPDATE_GOLDEN+set}" ]; then
  echo "test.sh: TRIVEX_UPDATE_GOLDEN is set; unset it (only scripts/regen-golden.sh sets it)" >&2
  exit 1
fi
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

bash "$top/scripts/setup.sh"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

build="$top/build-asan"
cmake -S "$top" -B "$build" -G Ninja -DTRIVEX_SANITIZE=ON -DTRIVEX_TESTS=ON >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs"

# ThreadSanitizer over the binaries whose code runs on threads: the model's
# pipelines, the readers, the formats (which read a model large enough for
# every reader's thread) and the converter's batch. Left out: the runs as on
# one processor, which start no threads, and the reads of every cut of the
# corpus files, mostly too short for a thread and minutes long here. Without
# address space randomisation, which the sanitizer's fixed memory layout may
# clash with.
tsan="$top/build-tsan"
cmake -S "$top" -B "$tsan" -G Ninja -DTRIVEX_TSAN=ON -DTRIVEX_GUI=OFF -DTRIVEX_TESTS=ON >/dev/null
cmake --build "$tsan" -j "$jobs" --target model_tests reader_tests format_tests cli_tests trivex-convert
norandom=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  norandom=(setarch "$(uname -m)" -R)
fi
TSAN_OPTIONS=halt_on_error=1 "${norandom[@]}" \
  ctest --test-dir "$tsan" --output-on-failure -j "$jobs" -E '_NOT_BUILT$|[.]OneProcessor$|/Truncation[.]'

if [ -f "$top/fuzz/CMakeLists.txt" ]; then
  fuzz="$top/build-fuzz"
  CC=clang CXX=clang++ cmake -S "$top" -B "$fuzz" -G Ninja -DTRIVEX_FUZZ=ON -DTRIVEX_TESTS=OFF -DTRIVEX_GUI=OFF >/dev/null
  cmake --build "$fuzz" -j "$jobs"
  ctest --test-dir "$fuzz" --output-on-failure -j "$jobs"
fi
echo "test.sh: all tests passed"
