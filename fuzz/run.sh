#!/usr/bin/env bash
# Runs every harness of a fuzz build for FUZZ_SECONDS each (default 180), FUZZ_JOBS at a
# time (default 4), each on its seed fixtures (read, never written) and a corpus folder
# of its own under <build>/corpus/<name>. What a harness finds lands in
# <build>/artifacts/<name>/; the script fails when any harness did.
set -u
build=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-180}
jobs=${FUZZ_JOBS:-4}
root=$(cd "$(dirname "$0")/.." && pwd)

seeds() {
  case $1 in
    xml) echo "$root/tests/fixtures/xml" ;;
    inflate|gzip|zip|zip_member) echo "$root/tests/fixtures/deflate" ;;
    html) echo "$root/tests/fixtures/html" ;;
    *) [ -d "$root/fuzz/seeds/$1" ] && echo "$root/fuzz/seeds/$1" ;;
  esac
}

run_one() {
  local name=$1
  mkdir -p "$build/corpus/$name" "$build/artifacts/$name"
  if "$build/fuzz/bin/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=25 \
      -artifact_prefix="$build/artifacts/$name/" "$build/corpus/$name" $(seeds "$name") \
      > "$build/artifacts/$name.log" 2>&1; then
    echo "== $name: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$build/artifacts/$name.log")"
  else
    echo "== $name: FAILED (see $build/artifacts/$name.log)"
    grep -m3 -E 'ERROR|SUMMARY' "$build/artifacts/$name.log"
    return 1
  fi
}

status=0
pids=()
for bin in "$build"/fuzz/bin/*; do
  run_one "$(basename "$bin")" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
