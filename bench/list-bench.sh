#!/bin/sh
# Loads and saves queue.json with 1,000 and 10,000 downloads through the real list, one worker
# thread and engine per download. Usage: bench/list-bench.sh [build folder] [repetitions]
set -eu
build=${1:-build}
runs=${2:-3}
cmake --build "$build" --target rushlet-list-bench >/dev/null
for count in 1000 10000; do
    run=1
    while [ "$run" -le "$runs" ]; do
        echo "== $count downloads, run $run"
        "$build/bin/rushlet-list-bench" --count "$count" --paused-every 20
        run=$((run + 1))
    done
done
