#!/usr/bin/env bash
# The main job: build the Windows helper, run it under Wine (with Xvfb) against
# a sample configuration, and show what it did.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
exec python3 scripts/demo.py build/windows
