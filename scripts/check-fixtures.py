#!/usr/bin/env python3
"""Warns about each fixture file that differs between the shared fixtures
folder beside the checkout (where revisions appear) and the project's copy in
tests/fixtures. Never fails: a difference is a reminder to copy, not an error."""
import filecmp
import sys
from pathlib import Path

root = Path(__file__).resolve().parents[1]
shared = root.parent / "shared" / "fixtures"
copy = root / "tests" / "fixtures"
if not shared.is_dir():
    sys.exit(0)
for source in sorted(p for p in shared.rglob("*") if p.is_file()):
    relative = source.relative_to(shared)
    if relative.as_posix() == "README.md":
        continue  # the copy's README is adapted on purpose
    target = copy / relative
    if not target.is_file():
        print(f"warning: fixture {relative} is in {shared} but not in tests/fixtures")
    elif not filecmp.cmp(source, target, shallow=False):
        print(f"warning: fixture {relative} differs from {shared / relative}")
