#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are missing.
# Safe to run again: installed packages are skipped quietly.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

missing=()
while read -r line; do
  pkg=${line%%#*}
  pkg=$(echo "$pkg" | xargs)
  [ -n "$pkg" ] || continue
  # A tool that came another way (npm with a nodejs build that carries it)
  # counts as there.
  command -v "$pkg" >/dev/null && continue
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done < "$here/packages.txt"

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The glTF Validator, for the tests that check our glTF output; it lives in
# .tools/ at the top of the clone (ignored by git). Without node or network
# those tests skip.
top=$(cd "$here/.." && pwd)
if command -v npm >/dev/null && [ ! -f "$top/.tools/node_modules/gltf-validator/package.json" ]; then
  npm install --prefix "$top/.tools" --no-save --no-audit --no-fund gltf-validator@2.0.0-dev.3.10 >/dev/null ||
    echo "setup: could not install gltf-validator; the glTF validator tests will skip"
fi
