#!/usr/bin/env bash
# Writes every sample of two AVI files through the AVI writers' copy mode
# (what the extract page does with a whole file) and times it beside `cat`
# of the same bytes, in the same run:
#   small: 300,000 chunks (150,000 small video frames, 150,000 MP3-sized audio frames)
#   large: about 500 MB of 1 MiB frames with PCM audio
# Targets: small within 2x cat, large within 1.15x cat.
# Usage: bench/avi-write/run.sh [BUILD_DIR]   (needs hyperfine; files go to $TMPDIR)
set -euo pipefail
build=${1:-build}
tool="$build/bin/avi-write-bench"
[ -x "$tool" ] || { echo "build first: $tool is missing" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/avi-write-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The writers keep codec settings per user; keep the benchmark's apart.
export XDG_CONFIG_HOME="$work/config"

"$tool" make-small "$work/small.avi"
"$tool" make-large "$work/large.avi"

for kind in small large; do
    src="$work/$kind.avi"
    echo "== $kind: $(stat -c %s "$src") bytes"
    hyperfine --style basic --warmup 1 --runs "${RUNS:-5}" \
        --export-json "$work/$kind.json" \
        -n cat "cat '$src' > '$work/cat.out'" \
        -n copy-mode "'$tool' copy '$src' '$work/copy.avi'" >/dev/null
    python3 - "$work/$kind.json" "$kind" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
cat, copy = r["cat"], r["copy-mode"]
target = {"small": 2.0, "large": 1.15}[sys.argv[2]]
ratio = copy["median"] / cat["median"]
print(f"cat       median {cat['median']:.3f} s (min {cat['min']:.3f})")
print(f"copy mode median {copy['median']:.3f} s (min {copy['min']:.3f})")
print(f"ratio {ratio:.2f} x cat (target {target} x): {'met' if ratio <= target else 'NOT met'}")
PY
done
