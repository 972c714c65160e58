#!/usr/bin/env bash
# Shows the desktop program on a virtual X display with a model open and saves
# a picture of its window: docs/screenshot.sh [MODEL] [OUTPUT.png] [WIDTHxHEIGHT]
# The model defaults to the shared sample corpus beside the clone, or to the
# shipped house when the corpus is absent.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
model=${1:-$top/../shared/corpus/obj/WusonOBJ.obj}
[ -f "$model" ] || model=$top/samples/house.obj
out=${2:-$top/docs/screenshot.png}
# The window's size; by default the size it has at its first start.
size=${3:-}
geometry=()
screen=800x600
if [ -n "$size" ]; then
  geometry=(-geometry "$size")
  screen=$(( ${size%x*} + 40 ))x$(( ${size#*x} + 40 ))
fi

if [ ! -x "$build/bin/trivex" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRIVEX_TESTS=OFF >/dev/null
  cmake --build "$build" -j 2 --target trivex
fi

# A settings folder of its own, so the window opens at its first-run size.
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
XDG_CONFIG_HOME=$settings xvfb-run -a -s "-screen 0 ${screen}x24" bash -c '
  "$1" "$2" "${@:4}" &
  pid=$!
  sleep 3
  # Without a window manager the window sits in the corner on black; trim the black.
  import -window root png:- | convert - -trim +repage "$3"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
' screenshot "$build/bin/trivex" "$model" "$out" "${geometry[@]}"
echo "wrote $out"
