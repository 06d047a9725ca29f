#!/usr/bin/env bash
# Runs every fuzz target built in a sanitizer tree, one after the other, each for the given number
# of seconds. New inputs go to <tree>/fuzz-corpus/<name>, findings to <tree>/fuzz-findings. The
# seeds in tests/fuzz/seeds are read, never written. Exits non-zero at the first finding.
#   run-fuzzers.sh <tree> <seconds> [name...]
set -euo pipefail
cd "$(dirname "$0")/../.."
tree=$1
seconds=$2
shift 2
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for program in "$tree"/fuzz/fuzz_*; do
        names+=("$(basename "$program" | sed 's/^fuzz_//')")
    done
fi
mkdir -p "$tree/fuzz-findings"
for name in "${names[@]}"; do
    mkdir -p "$tree/fuzz-corpus/$name"
    echo "== fuzz_$name for ${seconds}s"
    "$tree/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
        -artifact_prefix="$tree/fuzz-findings/$name-" \
        "$tree/fuzz-corpus/$name" "tests/fuzz/seeds/$name" 2>&1 | grep -v '^#[0-9]'
done
