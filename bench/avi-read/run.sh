#!/usr/bin/env bash
# Opening an AVI file of 300,000 small chunks and reading every sample through
# the program's AVI file layer, beside `ffprobe -count_packets` doing the same
# job (opening and walking every packet) and `cat` of the same bytes, in one
# run. Prints the times and the ratios; the target is at least 5 times faster
# than ffprobe.
#
# usage: bench/avi-read/run.sh [BUILD_DIR]   (default: build)
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
data="$build/bench-data"
file="$data/chunks300k.avi"

cmake --build "$build" --target avi-read-bench -j 2 >/dev/null
mkdir -p "$data"
if [ ! -s "$file" ]; then
  echo "making $file (300,000 frames of 8x8 uncompressed video)..." >&2
  ffmpeg -nostdin -v error -y -f lavfi -i "color=c=blue:size=8x8:rate=1000" \
    -frames:v 300000 -c:v rawvideo -pix_fmt bgr24 "$file"
fi

reader="$build/bin/avi-read-bench $file"
probe="ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 $file"
yardstick="cat $file"

echo "check: $($reader)" >&2
echo "ffprobe packets: $($probe)" >&2

json="$(mktemp)"
trap 'rm -f "$json"' EXIT
hyperfine --style basic --warmup 2 --runs 20 --export-json "$json" \
  -n trelvan "$reader" -n ffprobe "$probe" -n cat "$yardstick >/dev/null"

python3 - "$json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
t, f, c = r["trelvan"]["median"], r["ffprobe"]["median"], r["cat"]["median"]
print(f"median: trelvan {t*1000:.1f} ms, ffprobe {f*1000:.1f} ms, cat {c*1000:.1f} ms")
print(f"ffprobe / trelvan = {f/t:.1f}x faster (target >= 5x)")
print(f"trelvan / cat     = {t/c:.2f}")
# On a shared, loaded machine the processor time (user + system) is the
# steadier measure; it is printed beside the wall-clock ratio.
cpu = {k: v["user"] + v["system"] for k, v in r.items()}
print(f"processor time: trelvan {cpu['trelvan']*1000:.1f} ms, ffprobe {cpu['ffprobe']*1000:.1f} ms"
      f" -> {cpu['ffprobe']/max(cpu['trelvan'], 1e-6):.1f}x")
PY
