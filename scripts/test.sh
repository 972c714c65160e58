#!/usr/bin/env bash
# Installs what is missing, builds the whole project with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the test suite, then builds the fuzz targets
# with clang and replays their regression inputs. Any sanitizer report fails.
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

if [ -f "$top/fuzz/CMakeLists.txt" ]; then
  fuzz="$top/build-fuzz"
  CC=clang CXX=clang++ cmake -S "$top" -B "$fuzz" -G Ninja -DTRIVEX_FUZZ=ON -DTRIVEX_TESTS=OFF -DTRIVEX_GUI=OFF >/dev/null
  cmake --build "$fuzz" -j "$jobs"
  ctest --test-dir "$fuzz" --output-on-failure -j "$jobs"
fi
echo "test.sh: all tests passed"
