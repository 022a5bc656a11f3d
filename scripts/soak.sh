#!/usr/bin/env bash
# Soak test (not part of CI): the real helper under Wine for MINUTES minutes
# with traffic-gui-peer streaming a 600-sample graph at 30 updates a second,
# the overlay dragged and clicked every few seconds and a link dropped every
# 10 s. Prints memory, handles and CPU time at the start and the end with the
# growth per hour, and every message count.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
minutes="${1:?usage: scripts/soak.sh MINUTES}"

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
exec python3 scripts/soak.py build/windows "$minutes"
