#!/usr/bin/env bash
# Every test: native unit tests under ASan/UBSan, then the Windows build's unit
# tests, tool checks and end-to-end tests under Wine and Xvfb.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
jobs="$(nproc)"

cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan -j "$jobs"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

summary() { grep -E '^[0-9]+% tests passed' "$1" | tail -n 1; }
status=0
ctest --preset linux-asan 2>&1 | tee build/ctest-linux.log || status=1
ctest --preset windows 2>&1 | tee build/ctest-windows.log || status=1

# One closing line over both runs.
python3 - build/ctest-linux.log build/ctest-windows.log <<'PY'
import re, sys
passed = failed = 0
for path in sys.argv[1:]:
    text = open(path, encoding="utf-8", errors="replace").read()
    m = re.findall(r"(\d+)% tests passed, (\d+) tests failed out of (\d+)", text)
    if not m:
        failed += 1
        continue
    _, bad, total = map(int, m[-1])
    passed += total - bad
    failed += bad
print(f"tests: {passed} passed, {failed} failed")
PY
exit "$status"
