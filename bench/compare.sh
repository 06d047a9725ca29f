#!/usr/bin/env bash
# Measures rushlet-get against aria2c, curl and axel on the same files served by nginx on loopback,
# in one run, interleaved in shuffled order, and reports medians and same-run ratios.
#
#   bench/compare.sh [--rounds N] [--skip-capped] [--skip-uncapped] [--baseline PATH] [--skip-peers]
#
# Cases:
#   capped    256 MiB, nginx limit_rate 2m per connection, 16 connections (curl left out: with one
#             connection it would take over two minutes per run)
#   uncapped  1 GiB, no limit, 16 connections (curl with its one connection)
# --baseline PATH adds another build of rushlet-get as the client "baseline", run with the same
# options in the same shuffled rounds, so that a change to the engine is measured against the build
# before it; --skip-peers leaves aria2c, curl and axel out.
# Every result is checked against the served file's SHA-256; a wrong or missing file counts as a
# failed run and is left out of the medians. Needs a build (build/bin/rushlet-get, or RUSHLET_GET),
# nginx, aria2c, curl, axel and GNU time (scripts/install-deps.sh installs them).
set -euo pipefail

rounds=5
run_capped=1
run_uncapped=1
baseline=""
peers=1
while [ $# -gt 0 ]; do
    case "$1" in
        --rounds) rounds="$2"; shift 2 ;;
        --skip-capped) run_capped=0; shift ;;
        --skip-uncapped) run_uncapped=0; shift ;;
        --baseline) baseline="$2"; shift 2 ;;
        --skip-peers) peers=0; shift ;;
        -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "Unknown argument: $1" >&2; exit 2 ;;
    esac
done
if [ "$rounds" -lt 1 ]; then
    echo "--rounds needs at least 1" >&2
    exit 2
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
rushlet_get="${RUSHLET_GET:-$root/build/bin/rushlet-get}"
nginx_bin=/usr/sbin/nginx
gnu_time=/usr/bin/time
for tool in "$rushlet_get" ${baseline:+"$baseline"} "$nginx_bin" "$gnu_time"; do
    [ -x "$tool" ] || { echo "Missing $tool (build first, or run scripts/install-deps.sh)" >&2; exit 1; }
done
for tool in aria2c curl axel sha256sum shuf; do
    command -v "$tool" >/dev/null || { echo "Missing $tool (run scripts/install-deps.sh)" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/rushlet-bench.XXXXXX")"
nginx_pid=""
cleanup() {
    if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
        kill -TERM "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$work/www" "$work/logs" "$work/temp" "$work/out"

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}
port_plain="$(free_port)"
port_capped="$(free_port)"
while [ "$port_capped" = "$port_plain" ]; do port_capped="$(free_port)"; done

# nginx as in production, two workers, but in the foreground and entirely inside the work folder.
user_line=""
if [ "$(id -u)" -eq 0 ]; then
    user_line="user root;"
fi
cat > "$work/nginx.conf" <<EOF
daemon off;
$user_line
worker_processes 2;
pid $work/logs/nginx.pid;
error_log $work/logs/error.log warn;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $work/temp/body;
    proxy_temp_path $work/temp/proxy;
    fastcgi_temp_path $work/temp/fastcgi;
    uwsgi_temp_path $work/temp/uwsgi;
    scgi_temp_path $work/temp/scgi;
    default_type application/octet-stream;
    sendfile on;
    tcp_nopush on;
    server { listen 127.0.0.1:$port_plain; root $work/www; }
    server { listen 127.0.0.1:$port_capped; root $work/www; limit_rate 2m; }
}
EOF

make_file() { # name MiB
    echo "Writing $2 MiB of random data for $1..." >&2
    head -c "$(($2 * 1024 * 1024))" /dev/urandom > "$work/www/$1"
    sha256sum "$work/www/$1" | cut -d' ' -f1 > "$work/www/$1.sha256"
}

"$nginx_bin" -p "$work/" -e "$work/logs/error.log" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port_plain") 2>/dev/null && (exec 3<>"/dev/tcp/127.0.0.1/$port_capped") 2>/dev/null; then
        break
    fi
    kill -0 "$nginx_pid" 2>/dev/null || { cat "$work/logs/error.log" >&2; exit 1; }
    sleep 0.1
done

# Runs one client once: prints "wall cpu rss_kib ok wall_to_disk load" (ok 1 when the file's hash is
# right; load is the one-minute load average as the run ends, since other work on the machine
# swings every figure).
run_client() { # client url file
    local client="$1" url="$2" name="$3" out="$work/out/$3"
    rm -f "$out" "$out".* "$work/out/$name.aria2"
    sync
    local command=()
    case "$client" in
        rushlet-get) command=("$rushlet_get" -q -c 16 -o "$out" "$url") ;;
        baseline) command=("$baseline" -q -c 16 -o "$out" "$url") ;;
        aria2c) command=(aria2c -q -x16 -s16 -k1M --file-allocation=none --allow-overwrite=true
                         --auto-file-renaming=false -d "$work/out" -o "$name" "$url") ;;
        curl) command=(curl -s -o "$out" "$url") ;;
        axel) command=(axel -q -n 16 -o "$out" "$url") ;;
    esac
    local start end status=0
    start=$(date +%s.%N)
    "$gnu_time" -f "%U %S %M" -o "$work/time.txt" "${command[@]}" >/dev/null 2>"$work/client.err" || status=$?
    end=$(date +%s.%N)
    # rushlet-get syncs its data before it reports completion; the others leave it to the kernel.
    # The time until this client's data is on the disk puts them on the same footing.
    sync
    local synced
    synced=$(date +%s.%N)
    local user sys rss
    read -r user sys rss < <(tail -n 1 "$work/time.txt")
    local ok=0
    if [ "$status" -eq 0 ] && [ -f "$out" ] &&
        [ "$(sha256sum "$out" | cut -d' ' -f1)" = "$(cat "$work/www/$name.sha256")" ]; then
        ok=1
    fi
    rm -f "$out" "$out".* "$work/out/$name.aria2"
    local load
    load=$(cut -d' ' -f1 /proc/loadavg)
    awk -v s="$start" -v e="$end" -v u="$user" -v k="$sys" -v r="$rss" -v ok="$ok" -v d="$synced" -v l="$load" \
        'BEGIN { printf "%.3f %.2f %d %d %.3f %s\n", e - s, u + k, r, ok, d - s, l }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) { print "nan"; exit } if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs a case: all clients once per round, shuffled, after one warm-up run each when asked (a
# throttled transfer gains nothing from one, and it would cost a minute).
run_case() { # label warm-up url file clients...
    local label="$1" warm="$2" url="$3" name="$4"
    shift 4
    local clients=("$@")
    local results="$work/results-$label.txt"
    : > "$results"
    if [ "$warm" -eq 1 ]; then
        echo "== $label: warm-up" >&2
        for client in "${clients[@]}"; do
            run_client "$client" "$url" "$name" >/dev/null
        done
    fi
    for round in $(seq "$rounds"); do
        local order
        order=$(printf '%s\n' "${clients[@]}" | shuf)
        echo "== $label: round $round of $rounds: $(echo $order)" >&2
        for client in $order; do
            echo "$client $(run_client "$client" "$url" "$name")" | tee -a "$results" >&2
        done
    done
}

# Prints the medians of a case as a Markdown table and keeps them for the ratios.
declare -A wall disk cpu rss
report_case() { # label title clients...
    local label="$1" title="$2"
    shift 2
    local results="$work/results-$label.txt"
    echo
    echo "### $title"
    echo
    echo "| client | wall s | wall s until on disk | CPU s user+sys | peak RSS MiB | good runs |"
    echo "|---|---:|---:|---:|---:|---:|"
    for client in "$@"; do
        local good total
        total=$(awk -v c="$client" '$1 == c' "$results" | wc -l)
        good=$(awk -v c="$client" '$1 == c && $5 == 1' "$results" | wc -l)
        wall[$label,$client]=$(awk -v c="$client" '$1 == c && $5 == 1 { print $2 }' "$results" | median)
        cpu[$label,$client]=$(awk -v c="$client" '$1 == c && $5 == 1 { print $3 }' "$results" | median)
        rss[$label,$client]=$(awk -v c="$client" '$1 == c && $5 == 1 { print $4 / 1024 }' "$results" | median)
        disk[$label,$client]=$(awk -v c="$client" '$1 == c && $5 == 1 { print $6 }' "$results" | median)
        printf '| %s | %.2f | %.2f | %.2f | %.1f | %d of %d |\n' "$client" "${wall[$label,$client]}" \
            "${disk[$label,$client]}" "${cpu[$label,$client]}" "${rss[$label,$client]}" "$good" "$total"
    done
    echo
    awk 'NR == 1 || $7 < lo { lo = $7 } NR == 1 || $7 > hi { hi = $7 }
         END { printf "- one-minute load average after each run: %.2f to %.2f\n", lo, hi }' "$results"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0 && a == a + 0) printf "%.2f", a / b; else print "n/a" }'; }

# The clients of each case: rushlet-get, the baseline build when given, and the peers unless left out.
engines=(rushlet-get)
[ -n "$baseline" ] && engines+=(baseline)
capped_clients=("${engines[@]}")
uncapped_clients=("${engines[@]}")
if [ "$peers" -eq 1 ]; then
    capped_clients+=(aria2c axel)
    uncapped_clients+=(aria2c curl axel)
fi

echo "rushlet-get: $rushlet_get; baseline: ${baseline:-none}; $(nproc) cores; rounds: $rounds" >&2
if [ "$run_capped" -eq 1 ]; then
    make_file capped.bin 256
    run_case capped 0 "http://127.0.0.1:$port_capped/capped.bin" capped.bin "${capped_clients[@]}"
fi
if [ "$run_uncapped" -eq 1 ]; then
    make_file uncapped.bin 1024
    run_case uncapped 1 "http://127.0.0.1:$port_plain/uncapped.bin" uncapped.bin "${uncapped_clients[@]}"
fi

echo
echo "## Results ($(date -u +%Y-%m-%d), $(nproc) cores, $rounds rounds, shuffled and interleaved)"
echo
echo "Medians of the good runs. CPU and peak RSS from GNU time; \"until on disk\" adds a sync after the client exits."
if [ "$run_capped" -eq 1 ]; then
    report_case capped "Capped: 256 MiB, limit_rate 2m per connection, 16 connections" "${capped_clients[@]}"
    # 16 connections at 2 MiB/s each, after nginx's first 2 MiB per request go out at once.
    ideal=$(awk 'BEGIN { print (256 - 16 * 2) / (16 * 2) }')
    echo
    printf -- '- ideal %.2f s; rushlet-get reaches %s of it (ideal / wall)\n' "$ideal" \
        "$(awk -v i="$ideal" -v w="${wall[capped,rushlet-get]}" 'BEGIN { if (w > 0) printf "%.1f%%", 100 * i / w; else print "n/a" }')"
    if [ -n "$baseline" ]; then
        echo "- wall rushlet-get / baseline: $(ratio "${wall[capped,rushlet-get]}" "${wall[capped,baseline]}")"
    fi
    if [ "$peers" -eq 1 ]; then
        echo "- wall rushlet-get / aria2c: $(ratio "${wall[capped,rushlet-get]}" "${wall[capped,aria2c]}")"
    fi
fi
if [ "$run_uncapped" -eq 1 ]; then
    report_case uncapped "Uncapped: 1 GiB, 16 connections (curl: 1)" "${uncapped_clients[@]}"
    echo
    if [ -n "$baseline" ]; then
        echo "- wall rushlet-get / baseline: $(ratio "${wall[uncapped,rushlet-get]}" "${wall[uncapped,baseline]}")"
        echo "- until on disk, rushlet-get / baseline: $(ratio "${disk[uncapped,rushlet-get]}" "${disk[uncapped,baseline]}")"
        echo "- CPU rushlet-get / baseline: $(ratio "${cpu[uncapped,rushlet-get]}" "${cpu[uncapped,baseline]}")"
    fi
    if [ "$peers" -eq 1 ]; then
        echo "- wall rushlet-get / aria2c: $(ratio "${wall[uncapped,rushlet-get]}" "${wall[uncapped,aria2c]}")"
        echo "- wall rushlet-get / curl: $(ratio "${wall[uncapped,rushlet-get]}" "${wall[uncapped,curl]}")"
        echo "- until on disk, rushlet-get / aria2c: $(ratio "${disk[uncapped,rushlet-get]}" "${disk[uncapped,aria2c]}"); / curl: $(ratio "${disk[uncapped,rushlet-get]}" "${disk[uncapped,curl]}")"
        echo "- CPU rushlet-get / aria2c: $(ratio "${cpu[uncapped,rushlet-get]}" "${cpu[uncapped,aria2c]}")"
    fi
fi
if [ "$run_capped" -eq 1 ] && [ "$run_uncapped" -eq 1 ]; then
    printf -- '- rushlet-get peak RSS: %.1f MiB for 256 MiB, %.1f MiB for 1 GiB\n' \
        "${rss[capped,rushlet-get]}" "${rss[uncapped,rushlet-get]}"
fi
