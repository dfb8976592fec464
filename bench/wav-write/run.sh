#!/bin/bash
# Raw writes of 1 GiB into a WAV file in the copy buffers of the audio pages
# (400,000 bytes: extract; 48,000 bytes: link), beside `cat` of the same bytes
# in the same run. Prints hyperfine's table and the ratios to cat.
#
# Two ways for our side: "copy" reads the source file block by block and
# writes each block (the whole job of an audio page: two copies through user
# space), "write" writes 1 GiB from one block in memory (the writer alone).
# cat itself copies in the kernel (copy_file_range), so it is the floor.
#   bench/wav-write/run.sh [BUILD_DIR] [SIZE_MIB]
set -euo pipefail
BUILD=${1:-build}
MIB=${2:-1024}
BIN=$BUILD/bin/wav_write_bench
[ -x "$BIN" ] || { echo "build $BIN first (cmake --build $BUILD)"; exit 2; }
DIR=$(mktemp -d "${TMPDIR:-/tmp}/wav-write-bench.XXXXXX")
trap 'rm -rf "$DIR"' EXIT
head -c $((MIB * 1024 * 1024)) /dev/urandom > "$DIR/src.bin"
cat "$DIR/src.bin" > /dev/null  # into the page cache for every contender
# Each run starts with no output file and no dirty pages of an earlier run,
# so one contender's write-back does not slow the next.
hyperfine --warmup 1 --runs 10 --export-json "$DIR/r.json" \
  --prepare "rm -f $DIR/out; sync" \
  -n cat "cat $DIR/src.bin > $DIR/out" \
  -n copy-400000 "$BIN $DIR/src.bin $DIR/out 400000" \
  -n copy-48000 "$BIN $DIR/src.bin $DIR/out 48000" \
  -n write-400000 "$BIN mem:$((MIB * 1024 * 1024)) $DIR/out 400000" \
  -n write-48000 "$BIN mem:$((MIB * 1024 * 1024)) $DIR/out 48000"
python3 - "$DIR/r.json" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
base = r["cat"]
for name in ("copy-400000", "copy-48000", "write-400000", "write-48000"):
    x = r[name]
    print(f"{name}: median {x['median']:.3f} s (cat {base['median']:.3f} s) ratio {x['median'] / base['median']:.2f}; "
          f"fastest {x['min']:.3f} s (cat {base['min']:.3f} s) ratio {x['min'] / base['min']:.2f}")
PY
