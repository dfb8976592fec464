#!/usr/bin/env bash
# Writes every sample of two AVI files through the AVI writers' copy mode
# (what the extract page does with a whole file) and times it beside `cat`
# of the same bytes, in the same run:
#   small: 300,000 chunks (150,000 small video frames, 150,000 MP3-sized audio frames)
#   large: about 500 MB of 1 MiB frames with PCM audio
# Targets: small within 2x cat, large within 1.15x cat. cat copies inside the
# kernel (copy_file_range); `dd bs=1M` is shown too: the floor of any copy
# through a program's own buffers (one read and one write per block).
# Processor time (user + system) is shown too: on a shared machine the wall
# clock also counts time spent waiting for the processor.
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
    cat "$src" > /dev/null  # into the page cache for both contenders
    # Each run starts with no output file and no dirty pages of an earlier
    # run, so one contender's write-back does not slow the next.
    hyperfine --style basic --warmup 1 --runs "${RUNS:-5}" \
        --export-json "$work/$kind.json" \
        --prepare "rm -f '$work/out'; sync" \
        -n cat "cat '$src' > '$work/out'" \
        -n dd-1M "dd if='$src' of='$work/out' bs=1M status=none" \
        -n copy-mode "'$tool' copy '$src' '$work/out'" >/dev/null
    python3 - "$work/$kind.json" "$kind" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
cat, dd, copy = r["cat"], r["dd-1M"], r["copy-mode"]
target = {"small": 2.0, "large": 1.15}[sys.argv[2]]
ratio = copy["median"] / cat["median"]
cpu = lambda x: x["user"] + x["system"]
for name, x in (("cat", cat), ("dd bs=1M", dd), ("copy mode", copy)):
    print(f"{name:10s} median {x['median']:.3f} s (min {x['min']:.3f}), processor {cpu(x):.3f} s")
print(f"ratio {ratio:.2f} x cat (target {target} x): {'met' if ratio <= target else 'NOT met'}; "
      f"{copy['median'] / dd['median']:.2f} x dd; processor time {cpu(copy) / cpu(cat):.2f} x cat")
PY
done
