#!/usr/bin/env bash
# Shows that the self-test catches what a careless change would break: each
# patch of tests/planted/ is applied to a copy of this tree, the helper is
# built from it, and traffic-gui-peer --self-test (from this tree's windows
# build) runs it under Wine. Prints one row per patch: the patch and the first
# line that turned FAIL, or "missed". Not part of CI: it takes some minutes.
#
#   scripts/planted-faults.sh [PATCH ...]     (default: every tests/planted/*.patch)
#
# Needs this tree's windows build (cmake --build --preset windows).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build/windows"
copy="$root/build/planted/tree"
logs="$root/build/planted/logs"

# ccache, where it is installed, makes the ten builds of the copy quick.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
fi

for program in traffic-gui-peer vth-launch; do
    if ! find "$build" -name "$program.exe" -print -quit | grep -q .; then
        echo "planted-faults: build $program first: cmake --build --preset windows" >&2
        exit 2
    fi
done

patches=("$@")
if [ ${#patches[@]} -eq 0 ]; then patches=("$root"/tests/planted/*.patch); fi

# The copy: sources only, with a build tree of its own. Files are stamped
# now, not with their own times: a file put back by an earlier run would
# otherwise look older than what was built from its patched form.
mkdir -p "$copy" "$logs"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xmf -
(cd "$copy" && cmake --preset windows >"$logs/configure.txt" 2>&1)

self_test() {  # the helper to test, the output file
    python3 - "$build" "$1" "$2" <<'EOF'
import sys
from pathlib import Path
sys.path.insert(0, str(Path(sys.argv[1]).parents[1] / "tests" / "wine"))
from winebench import WineBench, windows_path
with WineBench(sys.argv[1]) as bench:
    bench.use_own_prefix()
    result = bench.run(bench.exe("traffic-gui-peer"),
                       ["--self-test", "--helper", windows_path(sys.argv[2])], timeout=120)
    Path(sys.argv[3]).write_text(result.stdout + result.stderr, encoding="utf-8")
EOF
}

first_fail() {  # the output file
    grep -m1 -E '^(FAIL|CANNOT RUN)' "$1" || echo "missed"
}

printf '%-32s %s\n' "patch" "first line that turned FAIL"
# Without a patch every check must pass, or the rows below prove nothing.
cmake --build "$copy/build/windows" --target vestrilon-traffic-helper -j2 >"$logs/none.build.txt" 2>&1
self_test "$(find "$copy/build/windows" -name vestrilon-traffic-helper.exe -print -quit)" \
    "$logs/none.txt" || true
printf '%-32s %s\n' "(none)" "$(first_fail "$logs/none.txt" | sed 's/^missed$/all passed/')"
for patch in "${patches[@]}"; do
    name=$(basename "$patch" .patch)
    if ! patch -d "$copy" -p1 --quiet --forward <"$patch"; then
        printf '%-32s %s\n' "$name" "patch does not apply"
        continue
    fi
    if cmake --build "$copy/build/windows" --target vestrilon-traffic-helper -j2 \
        >"$logs/$name.build.txt" 2>&1; then
        helper=$(find "$copy/build/windows" -name vestrilon-traffic-helper.exe -print -quit)
        self_test "$helper" "$logs/$name.txt" || true
        printf '%-32s %s\n' "$name" "$(first_fail "$logs/$name.txt")"
    else
        printf '%-32s %s\n' "$name" "does not build (see $logs/$name.build.txt)"
    fi
    patch -d "$copy" -p1 --quiet --reverse <"$patch"
    # Put back, the files are newer than the patched build: the next one
    # rebuilds them.
done
