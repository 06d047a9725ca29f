#!/usr/bin/env python3
"""Speed limits of the download list against curl --limit-rate and aria2c's limits, in one run.

    bench/limits-bench.py [--seconds S] [--limits 1,5,20] [--skip-peers]

A 256 MiB file of random data is served by nginx on loopback. Every client downloads it for S
seconds (default 11) under a limit of 1, 5 and 20 MiB/s, with 1 and 16 connections:

- rushlet per download: rushlet-limit-bench, one download with its own limit (what the context
  menu, the add dialog and rushlet-get --limit-rate set);
- rushlet overall: rushlet-limit-bench, two downloads sharing the overall limit (the Downloads
  menu's "Speed limit");
- aria2c --max-download-limit (one download) and --max-overall-download-limit (two, -j 2);
- curl --limit-rate (one connection only, one download);
- rushlet without a limit from a server that itself sends no faster than the limit (nginx
  limit_rate, the limit's share per connection): what the same rate costs without pacing.

The achieved rate is how fast the output files grow on disk (their allocated blocks, sampled every
50 ms) from one second after the first byte until the end; the processor time is the clients'
threads' time on the processor over the same window, per MiB downloaded. aria2c writes without its
disk cache, so that what it received is on disk when it is measured. The unlimited download of
the whole file gives rushlet's processor time per MiB at full speed. Needs a build
(build/bin/rushlet-limit-bench), nginx, curl and aria2c (scripts/install-deps.sh).
"""

import argparse
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

MIB = 1 << 20
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BENCH = os.environ.get("RUSHLET_LIMIT_BENCH", os.path.join(ROOT, "build", "bin", "rushlet-limit-bench"))
NGINX = "/usr/sbin/nginx"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_nginx(work, port):
    for sub in ("www", "logs", "temp"):
        os.makedirs(os.path.join(work, sub), exist_ok=True)
    user = "user root;" if os.getuid() == 0 else ""
    config = os.path.join(work, "nginx.conf")
    with open(config, "w") as out:
        out.write(f"""daemon off; {user} worker_processes 2; pid {work}/logs/nginx.pid;
error_log {work}/logs/error.log warn; events {{ worker_connections 1024; }}
http {{ access_log off; client_body_temp_path {work}/temp/body; proxy_temp_path {work}/temp/proxy;
fastcgi_temp_path {work}/temp/fastcgi; uwsgi_temp_path {work}/temp/uwsgi; scgi_temp_path {work}/temp/scgi;
default_type application/octet-stream; sendfile on; tcp_nopush on;
server {{ listen 127.0.0.1:{port}; root {work}/www;
         location /capped/ {{ alias {work}/www/; limit_rate $arg_rate; }} }} }}
""")
    process = subprocess.Popen([NGINX, "-p", work + "/", "-e", work + "/logs/error.log", "-c", config])
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return process
        except OSError:
            if process.poll() is not None:
                sys.exit("nginx did not start: " + open(work + "/logs/error.log").read())
            time.sleep(0.1)
    sys.exit("nginx did not answer")


def cpu_ns(pid):
    """Time on the processor of every thread of the process, in nanoseconds."""
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(path) as stat:
                total += int(stat.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total


def allocated(pattern):
    total = 0
    for path in glob.glob(pattern):
        try:
            total += os.stat(path).st_blocks * 512
        except OSError:
            pass
    return total


def stop(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def run_window(command, out, seconds):
    """Runs a client for `seconds`; its rate and processor time per MiB after its first second."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(["sync"])
    process = subprocess.Popen(command, cwd=out, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    samples = []
    began = None
    deadline = time.monotonic() + seconds + 10
    while time.monotonic() < deadline and process.poll() is None:
        now = time.monotonic()
        size = allocated(os.path.join(out, "*"))
        if began is None and size > 0:
            began = now
        if began is not None:
            samples.append((now - began, size, cpu_ns(process.pid)))
            if now - began >= seconds:
                break
        time.sleep(0.05)
    stop(process)
    window = [s for s in samples if s[0] >= 1.0]
    if len(window) < 2:
        return None, None, process.stderr.read().decode(errors="replace").strip()
    (t1, b1, c1), (t2, b2, c2) = window[0], window[-1]
    moved = (b2 - b1) / MIB
    return moved / (t2 - t1), (c2 - c1) / 1e6 / moved if moved > 0 else None, ""


def run_unlimited(url, out):
    """rushlet's processor time per MiB for the whole file without a limit."""
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(["sync"])
    process = subprocess.Popen([BENCH, "--url", url, "--folder", out, "--connections", "16"])
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        return None
    return (usage.ru_utime + usage.ru_stime) * 1000 / 256


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=11)
    parser.add_argument("--limits", default="1,5,20", help="MiB/s, comma-separated")
    parser.add_argument("--skip-peers", action="store_true")
    args = parser.parse_args()
    for tool in [BENCH, NGINX] + ([] if args.skip_peers else [shutil.which("curl"), shutil.which("aria2c")]):
        if not tool or not os.access(tool, os.X_OK):
            sys.exit(f"Missing {tool} (build first, or run scripts/install-deps.sh)")

    work = tempfile.mkdtemp(prefix="rushlet-limits.")
    nginx = None
    try:
        port = free_port()
        nginx = start_nginx(work, port)
        with open(os.path.join(work, "www", "file.bin"), "wb") as out:
            for _ in range(256):
                out.write(os.urandom(MIB))
        url = f"http://127.0.0.1:{port}/file.bin"
        out = os.path.join(work, "out")
        with open(os.path.join(work, "two.txt"), "w") as listing:
            listing.write(f"{url}\n  out=a.bin\n{url}\n  out=b.bin\n")

        baseline = run_unlimited(url, out)
        rows = []
        for mib in [int(x) for x in args.limits.split(",")]:
            rate = str(mib) + "M"
            for connections in (1, 16):
                n = str(connections)
                clients = [
                    ("rushlet per download", [BENCH, "--url", url, "--folder", out, "--connections", n, "--own", rate]),
                    ("rushlet overall, 2 downloads",
                     [BENCH, "--url", url, "--folder", out, "--connections", n, "--downloads", "2", "--overall", rate]),
                ]
                if not args.skip_peers:
                    aria = ["aria2c", "-q", "-x", n, "-s", n, "-k", "1M", "--file-allocation=none", "--disk-cache=0",
                            "--allow-overwrite=true", "--auto-file-renaming=false", "-d", out]
                    clients += [
                        ("aria2c --max-download-limit", aria + [f"--max-download-limit={rate}", "-o", "a.bin", url]),
                        ("aria2c --max-overall-download-limit, 2 downloads",
                         aria + ["-j", "2", f"--max-overall-download-limit={rate}", "-i", os.path.join(work, "two.txt")]),
                    ]
                    if connections == 1:
                        clients.append(("curl --limit-rate", ["curl", "-s", "--limit-rate", rate, "-o", "a.bin", url]))
                capped = f"http://127.0.0.1:{port}/capped/file.bin?rate={mib * MIB // connections}"
                clients.append(("rushlet unlimited, server capped", [BENCH, "--url", capped, "--folder", out,
                                                                     "--connections", n]))
                for name, command in clients:
                    achieved, cpu, error = run_window(command, out, args.seconds)
                    rows.append((mib, connections, name, achieved, cpu, error))
                    shown = f"{achieved:.3f} MiB/s" if achieved else "failed " + error
                    print(f"{mib} MiB/s, {connections} connections, {name}: {shown}", file=sys.stderr)

        print(f"\n### Results ({time.strftime('%Y-%m-%d')}, {os.cpu_count()} cores, {args.seconds:g} s per run)\n")
        print("| limit | connections | client | achieved MiB/s | of the limit | CPU ms per MiB |")
        print("|---:|---:|---|---:|---:|---:|")
        for mib, connections, name, achieved, cpu, error in rows:
            ratio = f"{100 * achieved / mib:.1f}%" if achieved else "failed"
            print(f"| {mib} | {connections} | {name} | {achieved or 0:.3f} | {ratio} | "
                  f"{cpu if cpu is not None else float('nan'):.2f} |")
        print(f"\n- rushlet without a limit, the whole 256 MiB with 16 connections: "
              f"{baseline if baseline else float('nan'):.2f} CPU ms per MiB")
        print(f"- one-minute load average at the end: {os.getloadavg()[0]:.2f}")
    finally:
        if nginx:
            stop(nginx)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
