#!/bin/sh
# Starts the real Rushlet on lists of 0, 1,000, 10,000 and 100,000 downloads, with the usual limit
# of 1,024 open files, and measures the start until the bridge answers, one save, the quit, the
# threads and the peak memory. Usage: bench/list-bench.sh [build folder] [repetitions]
set -eu
build=${1:-build}
runs=${2:-3}
cmake --build "$build" --target rushlet-list-bench >/dev/null
ulimit -n 1024
for count in 0 1000 10000 100000; do
    run=1
    while [ "$run" -le "$runs" ]; do
        echo "== $count downloads, run $run (load $(cut -d' ' -f1 /proc/loadavg))"
        "$build/bin/rushlet-list-bench" --count "$count" --paused-every 20
        run=$((run + 1))
    done
done
