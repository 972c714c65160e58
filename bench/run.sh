#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them; each prints its figures
# and the ratios it is judged by.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh"
build="$top/build-bench"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRIVEX_TESTS=OFF -DTRIVEX_BENCH=ON >/dev/null
cmake --build "$build" --target model_bench
"$build/bin/model_bench"
cmake --build "$build" --target dxf_bench
"$build/bin/dxf_bench"
cmake --build "$build" --target trivex-convert
if command -v assimp >/dev/null; then
  python3 "$top/bench/readers_vs_assimp.py" "$build/bin/trivex-convert"
else
  echo "assimp not installed (assimp-utils): skipping the reader comparison"
fi
