#!/usr/bin/env bash
# Runs a Windows program of this build tree under Wine: used by ctest as the
# cross-compiling emulator. The prefix lives in the build tree and is made once.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
exec python3 "$here/../tests/wine/winebench.py" run -- "$@"
