#!/usr/bin/env bash
# The release bundle for integrators: a stripped Windows build without tests,
# packed by CPack as build/windows-release/package/<name>.zip; prints its path.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release -j "$(nproc)"
out=build/windows-release/package
# A ZIP of an earlier build would be taken for this one.
rm -rf "$out"
cpack --preset windows-release >/dev/null
zips=("$out"/*.zip)
if [ ! -f "${zips[0]}" ] || [ ${#zips[@]} -ne 1 ]; then
  echo "package.sh: expected one ZIP in $out" >&2
  exit 1
fi
realpath "${zips[0]}"
