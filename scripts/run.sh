#!/usr/bin/env bash
# Installs what is missing, builds the converter and the desktop program, and
# converts the shipped sample model to a POV-Ray scene. Extra arguments go to
# the converter instead.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

bash "$top/scripts/setup.sh"
build="$top/build"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRIVEX_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target trivex-convert trivex

if [ $# -gt 0 ]; then
  exec "$build/bin/trivex-convert" "$@"
fi
"$build/bin/trivex-convert" --sky blue --floor checker \
  --color walls=Wheat --color roof=Firebrick --color door=DarkBrown --color chimney=Brown \
  "$top/samples/house.obj" "$build/house.pov"
echo "Wrote $build/house.pov. Render it with:"
echo "  povray +MV3.0 +I$build/house.pov +O$build/house.png +W640 +H480"
echo "Look at the model in the window with:"
echo "  $build/bin/trivex $top/samples/house.obj"
