#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them; each prints its figures
# and the ratios it is judged by. Besides this tree it builds the commit named
# in bench/baseline-commit (in a worktree under the build folder) so that the
# exporters can be timed against it in the same run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh"  # compilers, and assimp-utils for the comparison
command -v assimp >/dev/null || { echo "assimp not installed (assimp-utils)"; exit 1; }

build="$top/build-bench"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRIVEX_TESTS=OFF -DTRIVEX_BENCH=ON >/dev/null
cmake --build "$build" -j 2 --target model_bench dxf_bench bench_tool trivex-convert

baseline=$(grep -v '^#' "$top/bench/baseline-commit" | head -n 1)
before="$build/before"
if ! git -C "$before" rev-parse --verify -q HEAD >/dev/null 2>&1; then
  git -C "$top" worktree prune
  git -C "$top" worktree add --detach -f "$before" "$baseline" >/dev/null
fi
git -C "$before" checkout -q -f --detach "$baseline"
# Both builds time the exporters with the same benchmark source, built on its
# own: the older tree lacks the other benchmarks' libraries.
cp "$top/bench/bench_tool.cpp" "$before/bench/"
cat > "$before/bench/CMakeLists.txt" <<'CMAKE'
add_executable(bench_tool bench_tool.cpp)
target_link_libraries(bench_tool PRIVATE trivex_writers trivex_readers_text)
CMAKE
cmake -S "$before" -B "$build/before-build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRIVEX_TESTS=OFF \
  -DTRIVEX_BENCH=ON >/dev/null
cmake --build "$build/before-build" -j 2 --target bench_tool

"$build/bin/model_bench"
"$build/bin/dxf_bench"
python3 "$top/bench/readers_vs_assimp.py" "$build/bin/trivex-convert"
python3 "$top/bench/worst_cases.py" "$build/bin/trivex-convert"
python3 "$top/bench/compare.py" "$build/bin" "$build/before-build/bin" "$build/models"
