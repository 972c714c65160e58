#!/usr/bin/env bash
# Rewrites the writers' golden files under tests/data/golden from the current
# code. Review the result with `git diff tests/data/golden`.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target writer_tests
TRIVEX_UPDATE_GOLDEN=regenerate "$build/bin/writer_tests" --gtest_filter='*Golden*'
git -C "$top" status --short tests/data/golden
