#!/bin/sh
# Times `isorelink mkimage` on a folder of 100,000 small files (100 folders of
# 1,000), for each image kind. Not a test: run it by hand after a build.
#   bench/kit_build.sh [BUILD_DIR] [FILE_COUNT]
set -eu
build=${1:-build}
count=${2:-100000}
cli="$build/bin/isorelink"
[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/kit_build.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "creating $count files in $work/src ..."
python3 - "$work/src" "$count" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "D%03d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "F%05d.BIN" % i), "wb") as f:
        f.write(b"%08d" % i * (1 + i % 64))
PY

for kind in ps2cd pspumd ps2dvd; do
    start=$(date +%s.%N)
    "$cli" mkimage --kind "$kind" "$work/src" "$work/$kind.iso" >/dev/null
    end=$(date +%s.%N)
    size=$(du -k --apparent-size "$work/$kind.iso" | cut -f1)
    echo "$kind: $count files in $(echo "$end - $start" | bc) s, ${size} KiB"
    rm -f "$work/$kind.iso"
done
