#!/usr/bin/env bash
# The ASF layer against yardsticks in one run:
#   read:  open a large WMV (about 250 MB, large frames) and read every sample
#          (asf-bench read), beside `ffprobe -count_packets` and `cat`;
#   copy:  a pass-through copy through the WMV reader and writer wrappers
#          (asf-bench copy) of the large WMV and of a long WMA of many tiny
#          samples (20 minutes of 8 ms PCM blocks, 150,000 samples), beside
#          `cat` of the same bytes and `ffmpeg -i SRC -map 0 -c copy OUT.wmv`.
# Prints median times, the ratios and each contender's peak memory
# (/usr/bin/time). Targets: the copy within 1.3x cat on large frames and
# faster than ffmpeg on both; peak memory under 64 MiB.
#
# usage: bench/asf/run.sh [BUILD_DIR]   (default: build; needs hyperfine, ffmpeg)
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
data="$build/bench-data"
runs="${RUNS:-5}"
bench="$build/bin/asf-bench"

cmake --build "$build" --target asf-bench -j 2 >/dev/null
mkdir -p "$data"
large="$data/asf-large.wmv"
tiny="$data/asf-tiny.wma"
if [ ! -s "$large" ]; then
  echo "making $large ..." >&2
  ffmpeg -nostdin -v error -y \
    -f lavfi -i "testsrc2=s=1280x720:r=25:d=60,noise=alls=30:allf=t" \
    -f lavfi -i "sine=f=440:r=44100:d=60" \
    -c:v wmv2 -b:v 32M -maxrate 32M -bufsize 8M -c:a wmav2 -b:a 128k "$large"
fi
if [ ! -s "$tiny" ]; then
  echo "making $tiny ..." >&2
  ffmpeg -nostdin -v error -y \
    -f lavfi -i "sine=f=300:r=8000:d=1200:samples_per_frame=64" -c:a pcm_s16le "$tiny"
fi

out="$data/asf-out"
mkdir -p "$out"
trap 'rm -rf "$out"' EXIT
mem() { /usr/bin/time -f %M bash -c "$1" 2>&1 >/dev/null | tail -1; }

echo "check: $($bench read "$large")" >&2
cat "$large" "$tiny" > /dev/null
json="$out/read.json"
hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$json" \
  -n trelvan "$bench read $large" \
  -n ffprobe "ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 $large" \
  -n cat "cat $large > /dev/null" >&2
python3 - "$json" "$(mem "$bench read $large")" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
t, f, c = (r[k]["median"] for k in ("trelvan", "ffprobe", "cat"))
print(f"read large: trelvan {t*1000:.0f} ms, ffprobe {f*1000:.0f} ms, cat {c*1000:.0f} ms;"
      f" ffprobe/trelvan {f/t:.1f}x, trelvan/cat {t/c:.2f}; peak {int(sys.argv[2])/1024:.1f} MiB")
PY

for kind in large tiny; do
  src="$data/asf-$kind.$([ $kind = large ] && echo wmv || echo wma)"
  json="$out/$kind.json"
  trelvan="$bench copy $src $out/t.wmv"
  ffmpeg_copy="ffmpeg -nostdin -v error -y -i $src -map 0 -c copy $out/f.wmv"
  yardstick="cat $src > $out/c.bin"
  hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$json" \
    --prepare "rm -f $out/t.wmv $out/f.wmv $out/c.bin; sync" \
    -n trelvan "$trelvan" -n ffmpeg "$ffmpeg_copy" -n cat "$yardstick" >&2
  mt=$(mem "$trelvan"); mf=$(mem "$ffmpeg_copy"); mc=$(mem "$yardstick")
  n_in=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$src" | paste -sd+ | bc)
  n_out=$(ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$out/t.wmv" | paste -sd+ | bc)
  echo "$kind: $(stat -c %s "$src") bytes, samples in $n_in, out $n_out" >&2
  python3 - "$json" "$kind" "$mt" "$mf" "$mc" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
kind = sys.argv[2]
mt, mf, mc = (int(x) / 1024 for x in sys.argv[3:6])
t, f, c = (r[k]["median"] for k in ("trelvan", "ffmpeg", "cat"))
print(f"copy {kind}: trelvan {t*1000:.0f} ms, ffmpeg {f*1000:.0f} ms, cat {c*1000:.0f} ms;"
      f" trelvan/cat {t/c:.2f}, trelvan/ffmpeg {t/f:.2f};"
      f" peak MiB trelvan {mt:.1f}, ffmpeg {mf:.1f}, cat {mc:.1f}")
PY
done
