#!/bin/sh
# Builds and runs the reader fuzzers.
#
#   fuzz/run.sh build                 configure and build with clang into $FUZZ_BUILD
#   fuzz/run.sh corpus                make the seed corpora (shared models + fuzz/seeds;
#                                     SAV seeds written by the vanto program $VANTO_CLI,
#                                     default build/apps/vanto/vanto)
#   fuzz/run.sh run mps|lp|sav [SECONDS]  fuzz one reader (default 1800 s) in the background
#                                     at low priority; log in $FUZZ_BUILD/<fmt>.log
#   fuzz/run.sh min mps|lp|sav CRASHFILE  minimize a crashing input
#
# FUZZ_BUILD defaults to /work/build-fuzz.  Crashes, hangs (10 s timeout) and
# leaks are written to $FUZZ_BUILD/artifacts-<fmt>/.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(dirname "$HERE")
B=${FUZZ_BUILD:-/work/build-fuzz}
DATA=${VANTO_DATA_DIR:-$ROOT/../shared/data}
MAXLEN=${FUZZ_MAXLEN:-32768}

case "${1:-}" in
build)
  CC=clang-14 CXX=clang++-14 cmake -S "$HERE" -B "$B" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  nice cmake --build "$B" -j2
  ;;
corpus)
  # seeds: decompressed shared models (up to 256 KB) and the hand-written
  # inputs; for LP the small shared models converted by glpsol as well
  rm -rf "$B/seed-mps" "$B/seed-lp"
  mkdir -p "$B/seed-mps" "$B/seed-lp" "$B/corpus-mps" "$B/corpus-lp"
  cp "$HERE"/seeds/mps/* "$B/seed-mps/"
  cp "$HERE"/seeds/lp/* "$B/seed-lp/"
  for f in "$DATA"/*/*.mps.gz "$DATA"/*/*.mps "$DATA"/*/*.lp; do
    [ -f "$f" ] || continue
    name=$(basename "$f" .gz)
    case "$f" in
    *.gz) gzip -dc "$f" >"$B/seed-mps/$name" ;;
    *.lp) cp "$f" "$B/seed-lp/$name"; continue ;;
    *) cp "$f" "$B/seed-mps/$name" ;;
    esac
    if [ "$(wc -c <"$B/seed-mps/$name")" -gt 262144 ]; then
      rm -f "$B/seed-mps/$name"
      continue
    fi
    if command -v glpsol >/dev/null && [ "$(wc -c <"$B/seed-mps/$name")" -le 32768 ]; then
      glpsol --mps "$B/seed-mps/$name" --check --wlp "$B/seed-lp/${name%.mps}.lp" >/dev/null 2>&1 ||
        glpsol --freemps "$B/seed-mps/$name" --check --wlp "$B/seed-lp/${name%.mps}.lp" >/dev/null 2>&1 ||
        rm -f "$B/seed-lp/${name%.mps}.lp"
    fi
  done
  # SAV seeds: the small models as written by the library, half of them
  # after an optimization (with a basis), and the kept regression inputs
  rm -rf "$B/seed-sav"
  mkdir -p "$B/seed-sav" "$B/corpus-sav"
  cp "$HERE"/seeds/sav/* "$B/seed-sav/" 2>/dev/null || true
  CLI=${VANTO_CLI:-$ROOT/build/apps/vanto/vanto}
  if [ -x "$CLI" ]; then
    k=0
    for f in "$B"/seed-mps/* "$B"/seed-lp/*; do
      k=$((k + 1))
      out="$B/seed-sav/$(basename "$f").sav"
      if [ $((k % 2)) -eq 0 ]; then
        timeout 10 "$CLI" --param VNT_PARAM_ITLIM=2000 --write "$out" "$f" >/dev/null 2>&1 || rm -f "$out"
      else
        "$CLI" --no-optimize --write "$out" "$f" >/dev/null 2>&1 || rm -f "$out"
      fi
      [ -f "$out" ] && [ "$(wc -c <"$out")" -gt "$MAXLEN" ] && rm -f "$out"
    done
  fi
  echo "seeds: $(ls "$B/seed-mps" | wc -l) MPS, $(ls "$B/seed-lp" | wc -l) LP, $(ls "$B/seed-sav" | wc -l) SAV"
  ;;
run)
  fmt=$2
  secs=${3:-1800}
  mkdir -p "$B/artifacts-$fmt" "$B/corpus-$fmt"
  # the CPU time of the run is printed at the end of the log
  nohup nice -n "${FUZZ_NICE:-5}" /usr/bin/time -f "cpu: user %U s, system %S s, wall %e s" "$B/fuzz_${fmt}_reader" "$B/corpus-$fmt" "$B/seed-$fmt" \
    -dict="$HERE/$fmt.dict" -max_len="$MAXLEN" -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$B/artifacts-$fmt/" \
    >"$B/$fmt.log" 2>&1 &
  echo "pid $!; log $B/$fmt.log"
  ;;
min)
  fmt=$2
  "$B/fuzz_${fmt}_reader" -minimize_crash=1 -runs=20000 -timeout=10 \
    -artifact_prefix="$B/artifacts-$fmt/min-" "$3"
  ;;
*)
  sed -n 2,12p "$0"
  exit 2
  ;;
esac
