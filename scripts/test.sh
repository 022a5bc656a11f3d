#!/usr/bin/env bash
# Every test: native tests under ASan/UBSan and ThreadSanitizer, then the Windows build's unit
# tests, tool checks and end-to-end tests under Wine and Xvfb. Each build gets
# a table of its test entries as they finish (result, seconds), the output of
# any that failed, and ctest's full output in build/ctest-<preset>.log.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
python3 scripts/check-fixtures.py || echo "warning: scripts/check-fixtures.py failed"
jobs="$(nproc)"

cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan -j "$jobs"
cmake --preset linux-tsan >/dev/null
# Only what the threads are tested with: the unit tests and the helper.
cmake --build --preset linux-tsan -j "$jobs" --target unit_tests vestrilon-traffic-helper client_native_tests
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

# Reads ctest's output on stdin; prints one row per entry as it finishes, then
# what failed entries printed. argv[1] is the log the full output goes to.
table_py=$(
  cat <<'PY'
import re
import sys

log = sys.argv[1]
row = re.compile(r"\s*(?:\d+/\d+ )?Test\s+#\d+: (\S+) \.*\s*(.*?)\s+([\d.]+) sec\s*")
start = re.compile(r"\s+Start\s+\d+: ")
the_end = re.compile(r"\d+% tests passed|Total Test time")
total = re.compile(r"Total Test time \(real\) =\s*([\d.]+) sec")
not_failures = {"Passed", "Skipped", "Not Run (Disabled)"}

print(f"  {'entry':<36} {'result':<10} {'seconds':>8}", flush=True)
rows = 0
failed = []  # (entry, what ctest printed between its start and the next)
section = None  # lines since the last start, None after the last entry
failing = None  # the entry of this section, when it failed
seconds_in_all = None
tail = []


def close_section():
    if failing and section is not None:
        failed.append((failing, [line for line in section if line.strip()]))


for line in sys.stdin:
    line = line.rstrip("\r\n")
    tail = (tail + [line])[-20:]
    if m := row.fullmatch(line):
        name, result, seconds = m.groups()
        result = " ".join(result.replace("*", " ").split()) or "?"
        print(f"  {name:<36} {result:<10} {float(seconds):>8.2f}", flush=True)
        rows += 1
        failing = None if result in not_failures else name
    elif start.match(line) or the_end.match(line):
        close_section()
        section, failing = ([] if start.match(line) else None), None
        if m := total.match(line):
            seconds_in_all = float(m.group(1))
    elif section is not None:
        section.append(line)
close_section()

if not rows:
    print("  no test entry ran; the end of ctest's output:")
    for line in tail:
        print("    " + line)
for name, lines in failed:
    if not lines:
        continue
    cut = f" (last 60 of {len(lines)} lines)" if len(lines) > 60 else ""
    print(f"  --- {name} printed{cut}:")
    for line in lines[-60:]:
        print("    " + line)
in_all = f"{seconds_in_all:.2f} s in all, " if seconds_in_all is not None else ""
print(f"  ({in_all}full log: {log})")
PY
)

status=0
run_ctest() {  # PRESET WHAT
  local log="build/ctest-$1.log"
  echo "== $1: $2 =="
  ctest --preset "$1" 2>&1 | tee "$log" | python3 -c "$table_py" "$log" || status=1
}
run_ctest linux-asan "native, ASan/UBSan"
run_ctest linux-tsan "native, ThreadSanitizer: unit tests, the helper's protocol and faults"
run_ctest windows "MinGW-w64 build, under Wine + Xvfb"

# One closing line over both runs.
python3 - build/ctest-linux-asan.log build/ctest-linux-tsan.log build/ctest-windows.log <<'PY'
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
