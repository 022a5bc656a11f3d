#!/usr/bin/env bash
# The main job: build the Windows helper and show it working under Wine (with
# Xvfb) with traffic-gui-peer as its GUI, a click and a drop on the overlay.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
exec python3 scripts/demo.py build/windows
