#!/usr/bin/env python3
"""Downloads started in a real headless Chromium, with the shipped extension and the real programs.

1. Rushlet running: the download becomes an entry awaiting confirmation in queue.json, and the
   browser holds its own copy paused until Rushlet has bytes of the file, then erases it.
   Rushlet runs on a private X display there: its confirmation dialog is accepted with the keyboard,
   as a person would, and Rushlet fetches the file from nginx. A download whose dialog is still
   open when Rushlet quits stays awaiting confirmation. The files need the browser's session (a
   cookie, a Referer, a redirect's cookie); a login page (the cookie expired) or a site refusing
   Rushlet ends in Error, never "Completed", and the browser finishes; a cancel cancels both.
2. Rushlet not running: the native host starts it with --browser-launch, and the same holds.
3. The host refuses the extension: the browser downloads the file itself, completely.
4. Sending switched off in the extension's popup: the browser keeps the download although Rushlet
   runs, and the popup tells that Rushlet answers.
5. The browser restarted: the downloads it held are asked about (without starting Rushlet), shown
   in the popup and settled once Rushlet runs; a new download gets an id of its own.

Everything lives under a temporary HOME. The browser is driven over its DevTools pipe, so only
the standard library is needed. Exit status 77 means the browser, nginx, Xvfb or xdotool is not
installed.

usage: chrome_end_to_end.py BIN_DIR [--browser PATH]
"""

import argparse
import base64
import glob
import hashlib
import http.server
import json
import os
import re
import select
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

SKIPPED = 77
HOST_NAME = "com.rushlet.downloader"
AWAITING = "Awaiting confirmation"
WEB_PAGE = "The server sent a web page instead of the file. It may need you to sign in in the browser."
SITE_REFUSED = "The site refused the download. Send it again from the browser to renew its sign-in."

# Large and slow enough that the browser is still fetching when the extension pauses it.
HELD_FILE_SIZE = 16 * 1024 * 1024
HELD_CHUNK_DELAY = 0.02
# The file the browser keeps downloads at full speed.
KEPT_FILE_SIZE = 3 * 1024 * 1024 + 17
# Files Rushlet fetches from nginx, served slowly enough that the browser is paused midway.
SITE_FILE_SIZE = 6 * 1024 * 1024 + 7
NGINX_RATE = "1m"
TICKET_LIFETIME = 4  # seconds, the cookie of the login scenario
NGINX = "/usr/sbin/nginx"

START = time.monotonic()


def log(*parts):
    print("%6.2fs" % (time.monotonic() - START), *parts, flush=True)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, predicate, timeout, interval=0.05):
    """Polls until predicate() gives something true, and returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def extension_id(key):
    digest = hashlib.sha256(base64.b64decode(key, validate=True)).hexdigest()[:32]
    return "".join(chr(ord("a") + int(c, 16)) for c in digest)


def file_body(size):
    pattern = bytes(range(251))  # a prime length, so a lost or repeated chunk shows
    return (pattern * (size // len(pattern) + 1))[:size]


# ------------------------------------------------------------------ files served from 127.0.0.1

class Transfers:
    def __init__(self):
        self.lock = threading.Lock()
        self.done = {}  # path -> (bytes sent, completed)

    def record(self, path, sent, completed):
        with self.lock:
            self.done[path] = (sent, completed)

    def get(self, path):
        with self.lock:
            return self.done.get(path)


def page_body(name, href):
    """A page that starts the download of `href` as soon as it loads."""
    return ("<!doctype html><title>%s</title><a id=link href='%s' download>%s</a>"
            "<script>addEventListener('load', () => document.getElementById('link').click())"
            "</script>" % (name, href, name)).encode()


def stop_process(process):
    """Ends a program this test started, by its process, however it answers."""
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(10)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Nginx:
    """nginx serving a folder on a loopback port, in the foreground, with everything in `folder`."""

    def __init__(self, folder, environment):
        self.folder = folder
        self.root = os.path.join(folder, "www")
        for sub in ("www", "logs", "temp"):
            os.makedirs(os.path.join(folder, sub))
        self.environment = environment
        self.process = None
        self.port = 0

    def start(self):
        self.port = free_port()
        config = """daemon off;
master_process off;
pid {f}/logs/nginx.pid;
error_log {f}/logs/error.log warn;
events {{ worker_connections 64; }}
http {{
    access_log {f}/logs/access.log;
    client_body_temp_path {f}/temp/body;
    proxy_temp_path {f}/temp/proxy;
    fastcgi_temp_path {f}/temp/fastcgi;
    uwsgi_temp_path {f}/temp/uwsgi;
    scgi_temp_path {f}/temp/scgi;
    types {{ text/html html; }}
    default_type application/octet-stream;
    server {{
        listen 127.0.0.1:{port};
        root {f}/www;
        limit_rate {rate};
        # Sites that want a session cookie, a Referer, a redirect's cookie, a short-lived ticket, a browser.
        location = /session/page.html {{ add_header Set-Cookie "session=open-sesame; Path=/session/; HttpOnly"; }}
        location /session/files/ {{ if ($cookie_session != "open-sesame") {{ return 403; }} }}
        location /referer/files/ {{ if ($http_referer !~ "^http://127\.0\.0\.1:{port}/referer/") {{ return 403; }} }}
        location = /redirect/go {{ add_header Set-Cookie "gate=open; Path=/redirect/"; return 302 /redirect/files/gated.bin; }}
        location /redirect/files/ {{ if ($cookie_gate != "open") {{ return 302 /login.html; }} }}
        location = /login/page.html {{ add_header Set-Cookie "ticket=valid; Path=/login/; Max-Age={ticket}"; }}
        location /login/files/ {{ if ($cookie_ticket != "valid") {{ return 302 /login.html; }} }}
        location /refusing/files/ {{ if ($http_sec_fetch_mode = "") {{ return 403; }} }}
        location = /login.html {{ default_type text/html; return 200 "<title>Sign in</title>"; }}
    }}
}}
""".format(f=self.folder, port=self.port, rate=NGINX_RATE, ticket=TICKET_LIFETIME)
        with open(os.path.join(self.folder, "nginx.conf"), "w") as f:
            f.write(config)
        self.process = subprocess.Popen(
            [NGINX, "-p", self.folder + "/", "-e", os.path.join(self.folder, "logs", "error.log"),
             "-c", os.path.join(self.folder, "nginx.conf")],
            env=self.environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def listening():
            check(self.process.poll() is None, "nginx ended at start")
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return True
            except OSError:
                return False
        wait_for("nginx to listen", listening, 20)

    def url(self, name):
        return "http://127.0.0.1:%d/%s" % (self.port, name)

    def stop(self):
        stop_process(self.process)


class Display:
    """Xvfb on a display number it picks itself, so that parallel runs never meet."""

    def __init__(self, environment):
        self.environment = environment
        self.process = None
        self.name = None

    def start(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                                         "-screen", "0", "1280x800x24"], env=self.environment,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, pass_fds=(write_end,))
        os.close(write_end)
        # Xvfb writes the display's number once it accepts clients.
        number = b""
        deadline = time.monotonic() + 20
        try:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                if select.select([read_end], [], [], 0.5)[0]:
                    data = os.read(read_end, 16)
                    if not data:
                        break
                    number += data
        finally:
            os.close(read_end)
        check(number.strip().isdigit(), "Xvfb gave no display")
        self.name = ":" + number.strip().decode()

    def environment_for_programs(self, environment):
        # No session bus, as everywhere in this run: without an address libdbus would start a bus
        # of its own for the display, which outlives the program that asked for it.
        return dict(environment, DISPLAY=self.name, QT_QPA_PLATFORM="xcb",
                    DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(environment["XDG_RUNTIME_DIR"], "no-bus"))

    def xdotool(self, *arguments):
        """xdotool's output, or None when it found nothing or failed."""
        try:
            result = subprocess.run(["xdotool"] + list(arguments), env=self.environment_for_programs(self.environment),
                                    capture_output=True, text=True, timeout=20)
        except subprocess.TimeoutExpired:
            raise Failure("xdotool %s did not finish" % arguments[0])
        return result.stdout if result.returncode == 0 else None

    def stop(self):
        stop_process(self.process)


def make_server(transfers):
    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *args):
            pass

        def do_GET(self):
            if self.path.startswith("/page/"):
                name = self.path[len("/page/"):]
                body = page_body(name, "/files/" + name)
                self.send_response(200)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                return
            if not self.path.startswith("/files/"):
                self.send_error(404)
                return
            held = self.path.startswith("/files/held-")
            body = file_body(HELD_FILE_SIZE if held else KEPT_FILE_SIZE)
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            sent = 0
            try:
                while sent < len(body):
                    chunk = body[sent:sent + 65536]
                    self.wfile.write(chunk)
                    sent += len(chunk)
                    if held:
                        time.sleep(HELD_CHUNK_DELAY)
                self.wfile.flush()
                transfers.record(self.path, sent, True)
            except OSError:
                transfers.record(self.path, sent, False)

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True

    return Server(("127.0.0.1", 0), Handler)


# ------------------------------------------------------------------ DevTools over a pipe

class DevTools:
    """The browser's DevTools protocol on descriptors 3 and 4: JSON messages ended by NUL."""

    def __init__(self, write_fd, read_fd):
        self.write_fd, self.read_fd = write_fd, read_fd
        self.next_id = 0
        self.results = {}
        self.events = []
        self.closed = False
        self.condition = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        buffer = b""
        while True:
            try:
                data = os.read(self.read_fd, 65536)
            except OSError:
                data = b""
            if not data:
                with self.condition:
                    self.closed = True
                    self.condition.notify_all()
                return
            buffer += data
            while b"\0" in buffer:
                raw, buffer = buffer.split(b"\0", 1)
                message = json.loads(raw)
                with self.condition:
                    if "id" in message:
                        self.results[message["id"]] = message
                    else:
                        self.events.append(message)
                    self.condition.notify_all()

    def call(self, method, params=None, session=None, timeout=20):
        self.next_id += 1
        call_id = self.next_id
        message = {"id": call_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.write_fd, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        with self.condition:
            while call_id not in self.results:
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    raise Failure("no answer from the browser to " + method)
                self.condition.wait(left)
            result = self.results.pop(call_id)
        if "error" in result:
            raise Failure("%s: %s" % (method, result["error"]))
        return result.get("result", {})

    def wait_event(self, predicate, timeout):
        deadline = time.monotonic() + timeout
        with self.condition:
            while True:
                for event in self.events:
                    if predicate(event):
                        return event
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.condition.wait(left)

    def evaluate(self, session, expression, timeout=20):
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True}, session=session, timeout=timeout)
        if "exceptionDetails" in result:
            raise Failure("script failed: " + json.dumps(result["exceptionDetails"])[:400])
        return result["result"].get("value")


# Watches the browser's downloads from inside the extension's worker, without changing what the
# extension does with them.
OBSERVER = """
globalThis.observedDownloads = [];
chrome.downloads.onCreated.addListener((item) =>
  observedDownloads.push({ event: "created", id: item.id, url: item.url }));
chrome.downloads.onChanged.addListener((delta) =>
  observedDownloads.push({ event: "changed", id: delta.id, state: delta.state && delta.state.current,
                           error: delta.error && delta.error.current }));
chrome.downloads.onErased.addListener((id) => observedDownloads.push({ event: "erased", id }));
true
"""


# ------------------------------------------------------------------ the scenario run

class Run:
    def __init__(self, bin_dir, browser):
        self.bin_dir = os.path.abspath(bin_dir)
        self.browser = browser
        self.root = tempfile.mkdtemp(prefix="rb-")
        self.home = os.path.join(self.root, "home")
        self.config = os.path.join(self.home, ".config")
        self.data = os.path.join(self.home, ".local", "share")
        self.runtime = os.path.join(self.root, "run")
        for folder in (self.config, self.data, self.runtime, os.path.join(self.root, "tmp")):
            os.makedirs(folder)
        os.chmod(self.runtime, 0o700)
        self.data_folder = os.path.join(self.data, "Rushlet", "Rushlet")
        self.profile = os.path.join(self.config, "chromium")
        self.browser_downloads = os.path.join(self.root, "browser-downloads")
        os.makedirs(self.browser_downloads)
        self.environment = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.config, XDG_DATA_HOME=self.data,
                                XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
                                XDG_STATE_HOME=os.path.join(self.home, ".local", "state"),
                                XDG_RUNTIME_DIR=self.runtime, TMPDIR=os.path.join(self.root, "tmp"),
                                QT_QPA_PLATFORM="offscreen", LANG="C.UTF-8")
        self.environment.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.transfers = Transfers()
        self.server = None
        self.nginx = Nginx(os.path.join(self.root, "nginx"), self.environment)
        self.display = Display(self.environment)
        self.port = 0
        self.chromium = None
        self.devtools = None
        self.worker = None
        self.rushlet_pids = []
        self.seen_ids = set()

    # -------------------------------------------------------------- pieces

    def register(self):
        # The registration serves the browsers that ran for this user: Chromium has, here.
        os.makedirs(self.profile, exist_ok=True)
        result = subprocess.run([os.path.join(self.bin_dir, "rushlet-register-browsers")], env=self.environment,
                                capture_output=True, text=True, timeout=30)
        check(result.returncode == 0, "registration failed: " + result.stderr.strip())
        with open(os.path.join(self.bin_dir, "chrome-extension", "manifest.json")) as f:
            self.extension_id = extension_id(json.load(f)["key"])
        manifest_path = os.path.join(self.data_folder, HOST_NAME + ".json")
        with open(manifest_path) as f:
            self.manifest = json.load(f)
        check(self.manifest["allowed_origins"] == ["chrome-extension://%s/" % self.extension_id],
              "the manifest admits %s" % self.manifest["allowed_origins"])
        # The profile below is Chromium's default folder under this XDG_CONFIG_HOME.
        with open(os.path.join(self.profile, "NativeMessagingHosts", HOST_NAME + ".json")) as f:
            check(json.load(f) == self.manifest, "Chromium's copy of the host manifest differs")
        log("registered; extension id", self.extension_id)

    def serve(self):
        self.server = make_server(self.transfers)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.nginx.start()

    def start_browser(self):
        os.makedirs(os.path.join(self.profile, "Default"), exist_ok=True)
        with open(os.path.join(self.profile, "Default", "Preferences"), "w") as f:
            json.dump({"download": {"default_directory": self.browser_downloads, "prompt_for_download": False}}, f)
        extension = os.path.join(self.bin_dir, "chrome-extension")
        commands_read, commands_write = os.pipe()
        replies_read, replies_write = os.pipe()

        def devtools_descriptors():
            os.dup2(commands_read, 3)
            os.dup2(replies_write, 4)

        flags = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + self.profile, "--remote-debugging-pipe",
                 "--disable-extensions-except=" + extension, "--load-extension=" + extension, "about:blank"]
        self.browser_log = open(os.path.join(self.root, "chromium.log"), "w")
        self.chromium = subprocess.Popen([self.browser] + flags, env=self.environment, stdin=subprocess.DEVNULL,
                                         stdout=self.browser_log, stderr=self.browser_log,
                                         preexec_fn=devtools_descriptors, close_fds=False, start_new_session=True)
        os.close(commands_read)
        os.close(replies_write)
        self.devtools = DevTools(commands_write, replies_read)
        self.devtools.call("Browser.getVersion", timeout=30)
        self.devtools.call("Target.setDiscoverTargets", {"discover": True})
        event = self.devtools.wait_event(
            lambda e: e.get("method") in ("Target.targetCreated", "Target.targetInfoChanged")
            and e["params"]["targetInfo"]["type"] == "service_worker"
            and e["params"]["targetInfo"]["url"].startswith("chrome-extension://"), 30)
        check(event, "the extension's service worker never started")
        url = event["params"]["targetInfo"]["url"]
        check(url.startswith("chrome-extension://%s/" % self.extension_id),
              "the browser gave the extension another id: " + url)
        self.worker = self.devtools.call("Target.attachToTarget", {"targetId": event["params"]["targetInfo"]["targetId"],
                                                                   "flatten": True})["sessionId"]
        # The worker's target exists before its script has run; downloads before that pass it by.
        wait_for("the extension to listen for downloads", lambda: self.devtools.evaluate(
            self.worker, "typeof chrome === 'object' && Boolean(chrome.downloads) &&"
            " chrome.downloads.onDeterminingFilename.hasListeners()"), 20)
        self.devtools.evaluate(self.worker, OBSERVER)
        log("browser", self.chromium.pid, "running with the extension")

    def ping_through_browser(self):
        return self.devtools.evaluate(
            self.worker, "chrome.runtime.sendNativeMessage(%s, {type: 'ping'}).catch((e) => ({error: e.message}))"
            % json.dumps(HOST_NAME), timeout=30)

    def download_from_page(self, name, page_url=None, url=None):
        page_url = page_url or "http://127.0.0.1:%d/page/%s" % (self.port, name)
        url = url or "http://127.0.0.1:%d/files/%s" % (self.port, name)
        page = self.devtools.call("Target.createTarget", {"url": page_url})
        created = wait_for("the browser to start downloading " + name, lambda: next(
            (e for e in self.observed() if e["event"] == "created" and e["url"] == url), None), 20)
        return page["targetId"], url, created["id"]

    def observed(self):
        return self.devtools.evaluate(self.worker, "observedDownloads")

    def browser_items(self, download_id):
        return self.devtools.evaluate(self.worker, "chrome.downloads.search({id: %d})" % download_id)

    def queue(self):
        try:
            with open(os.path.join(self.data_folder, "queue.json")) as f:
                return json.load(f)
        except (OSError, ValueError):
            return []

    def entry_for(self, url):
        return next((entry for entry in self.queue() if entry.get("url") == url), None)

    def bridge_socket(self):
        addresses = glob.glob(os.path.join(self.runtime, "Rushlet-*"))
        return addresses[0] if len(addresses) == 1 else None

    def rushlet_answers(self):
        address = self.bridge_socket()
        if not address:
            return False
        try:
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as client:
                client.settimeout(5)
                client.connect(address)
                client.sendall(b'{"type":"ping"}\n')
                reply = b""
                while not reply.endswith(b"\n"):
                    data = client.recv(4096)
                    if not data:
                        break
                    reply += data
            return json.loads(reply or b"{}").get("ok") is True
        except (OSError, ValueError):
            return False

    def lock_holder(self):
        """The process id written into Rushlet's instance lock, if that process still lives."""
        try:
            with open(os.path.join(self.data_folder, "instance.lock")) as f:
                pid = int(f.readline())
            os.kill(pid, 0)
            return pid
        except (OSError, ValueError):
            return None

    def command_line(self, pid):
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return [part.decode() for part in f.read().split(b"\0") if part]

    def stop_rushlet(self, pid):
        os.kill(pid, signal.SIGTERM)
        try:
            wait_for("Rushlet %d to quit" % pid, lambda: not os.path.exists("/proc/%d" % pid) or
                     open("/proc/%d/stat" % pid).read().split(")")[-1].split()[0] == "Z", 15)
        except Failure:
            os.kill(pid, signal.SIGKILL)
            raise
        finally:
            if pid in self.rushlet_pids:
                self.rushlet_pids.remove(pid)

    # -------------------------------------------------------------- where the bytes are

    def held_records(self):
        return self.devtools.evaluate(self.worker, "chrome.storage.local.get('heldDownloads').then((s) => s.heldDownloads)")

    def rushlet_file(self, name):
        return os.path.join(self.home, "Downloads", name)

    def check_held(self, name, url, download_id):
        entry = wait_for("the entry for " + name + " in queue.json", lambda: self.entry_for(url), 30)
        # Browsers and profiles all number their downloads from 1; the extension's own random
        # identifier keeps the ids of two of them apart, and a random part those of one over time.
        installation = self.devtools.evaluate(
            self.worker, "chrome.storage.local.get('installationId').then((stored) => stored.installationId)")
        check(re.fullmatch("[0-9a-f]{16}", installation or ""), "installation id %r" % installation)
        check(re.fullmatch("chrome-%s-[0-9a-f]{16}" % installation, entry["id"]) and entry["id"] not in self.seen_ids,
              "entry id %s for browser download %d" % (entry.get("id"), download_id))
        self.seen_ids.add(entry["id"])
        check(entry.get("status") == AWAITING, "entry status is %s" % entry.get("status"))
        destination = entry.get("destination", "")
        check(os.path.dirname(destination) == os.path.join(self.home, "Downloads"),
              "destination %s is not in the download folder" % destination)
        check(os.path.basename(destination) == name, "destination name %s" % os.path.basename(destination))
        # Until Rushlet has bytes of the file, the browser holds its own copy paused.
        wait_for("the extension to hold download %d" % download_id, lambda: (self.held_records() or {}).get(
            str(download_id), {}).get("acknowledged"), 20)
        item = self.browser_items(download_id)[0]
        check(item["state"] == "in_progress" and item["paused"], "the browser's copy is not held: %s" % item)

    def check_erased(self, name, download_id):
        wait_for("the browser to erase download %d" % download_id, lambda: any(
            e["event"] == "erased" and e["id"] == download_id for e in self.observed()), 20)
        changes = [e for e in self.observed() if e["event"] == "changed" and e["id"] == download_id]
        check(not any(e.get("state") == "complete" for e in changes), "the browser completed its copy")
        check(self.browser_items(download_id) == [], "the download is still in the browser's list")
        # The browser deletes its partial file after the cancel on its own time.
        wait_for("the browser to delete its copy of " + name, lambda: not set(os.listdir(self.browser_downloads)) & {
            name, name + ".crdownload"}, 10)

    def check_resumed(self, name, download_id, body, url, error):
        """Rushlet refused what it got (an Error, never "Completed"); the browser finished its copy."""
        wait_for("Rushlet to end " + name, lambda: self.entry_for(url)["status"] in ("Error", "Completed"), 30)
        check(self.entry_for(url)["error"] == error, "Rushlet ended %s as %s" % (name, self.entry_for(url)))
        self.check_kept_by_browser(name, download_id, body)
        check(not os.path.exists(self.rushlet_file(name)), "Rushlet saved something as " + name)

    def check_kept_by_browser(self, name, download_id, body=None):
        wait_for("the browser to finish downloading " + name, lambda: any(
            e["event"] == "changed" and e["id"] == download_id and e.get("state") in ("complete", "interrupted")
            for e in self.observed()), 30)
        items = self.browser_items(download_id)
        check(len(items) == 1 and items[0]["state"] == "complete", "the browser's download ended as %s" % items)
        path = os.path.join(self.browser_downloads, name)
        check(items[0]["filename"] == path, "the browser saved to %s" % items[0]["filename"])
        with open(path, "rb") as f:
            check(f.read() == (body or file_body(KEPT_FILE_SIZE)), "the browser's copy of %s differs" % name)
        check(body or self.transfers.get("/files/" + name) == (KEPT_FILE_SIZE, True), "the server did not send everything")

    def check_fetched(self, name, url, body):
        destination = os.path.join(self.home, "Downloads", name)
        wait_for("Rushlet to finish " + name, lambda: os.path.isfile(destination) and not any(
            os.path.exists(destination + sidecar) for sidecar in (".rushlet.part", ".rushlet.json")), 60, 0.2)
        with open(destination, "rb") as f:
            fetched = hashlib.sha256(f.read()).hexdigest()
        check(fetched == hashlib.sha256(body).hexdigest(), "the fetched %s differs from the served one" % name)
        wait_for("the completed entry of " + name, lambda: self.entry_for(url).get("status") == "Completed", 20)
        check("context" not in self.entry_for(url), "the completed entry keeps the browser's session")
        return fetched

    def answer_dialog(self, key):
        dialog = wait_for("the confirmation dialog", lambda: self.display.xdotool(
            "search", "--onlyvisible", "--name", "^Add download"), 30).split()
        check(len(dialog) == 1, "%d confirmation dialogs are showing" % len(dialog))
        check(self.display.xdotool("windowfocus", "--sync", dialog[0]) is not None, "the dialog takes no focus")
        # Enter presses the dialog's default button, "Download": start at once; Escape cancels.
        check(self.display.xdotool("key", "--clearmodifiers", key) is not None, "xdotool could not type")
        wait_for("the dialog to close", lambda: dialog[0] not in (self.display.xdotool(
            "search", "--onlyvisible", "--name", "^Add download") or ""), 20)

    def site_download(self, folder, name, link=None):
        """Downloads a new file of nginx's from its page /FOLDER/page.html, whose link is files/NAME."""
        body = os.urandom(SITE_FILE_SIZE)
        os.makedirs(os.path.join(self.nginx.root, folder, "files"), exist_ok=True)
        with open(os.path.join(self.nginx.root, folder, "files", name), "wb") as f:
            f.write(body)
        link = link or "files/" + name
        with open(os.path.join(self.nginx.root, folder, "page.html"), "wb") as f:
            f.write(page_body(name, link))
        page, url, download_id = self.download_from_page(
            name, self.nginx.url(folder + "/page.html"), self.nginx.url(folder + "/" + link))
        self.check_held(name, url, download_id)
        return page, url, download_id, body

    def fetched_with_session(self, folder, name, link=None):
        page, url, download_id, body = self.site_download(folder, name, link)
        self.answer_dialog("Return")
        fetched = self.check_fetched(name, url, body)
        self.check_erased(name, download_id)
        self.devtools.call("Target.closeTarget", {"targetId": page})
        return fetched

    # -------------------------------------------------------------- scenarios

    def start_rushlet(self):
        rushlet = subprocess.Popen([os.path.join(self.bin_dir, "Rushlet")],
                                   env=self.display.environment_for_programs(self.environment),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.rushlet_pids.append(rushlet.pid)
        wait_for("Rushlet to answer on its bridge", self.rushlet_answers, 30)
        return rushlet

    def rushlet_running(self):
        self.display.start()
        rushlet = self.start_rushlet()
        check(self.ping_through_browser() == {"ok": True}, "a ping through the browser was not answered")

        fetched = self.fetched_with_session("session", "members.bin")
        log("1a. confirmed in the dialog and fetched from nginx (SHA-256 %s...)" % fetched[:16])
        self.fetched_with_session("referer", "linked.bin")
        self.fetched_with_session("redirect", "gated.bin", "go")
        log("1b. fetched with the site's session cookie, a Referer, and a cookie set by a redirect")

        page, url, download_id, body = self.site_download("login", "ticket.bin")
        # The user takes a while to confirm; meanwhile the ticket the page handed out expires.
        time.sleep(TICKET_LIFETIME + 1)
        self.answer_dialog("Return")
        self.check_resumed("ticket.bin", download_id, body, url, WEB_PAGE)
        page, url, download_id, body = self.site_download("refusing", "browsers-only.bin")
        self.answer_dialog("Return")
        self.check_resumed("browsers-only.bin", download_id, body, url, SITE_REFUSED)
        log("1c. a login page after the cookie expired, and a site refusing Rushlet: the browser finished")

        page, url, download_id, body = self.site_download("plain", "unwanted.bin")
        self.answer_dialog("Escape")
        self.check_erased("unwanted.bin", download_id)
        check(self.entry_for(url) is None and not os.path.exists(self.rushlet_file("unwanted.bin")),
              "Rushlet kept the cancelled download")
        log("1d. a confirmation cancelled by the user cancelled the browser's copy")

        name = "held-first.bin"
        page, url, download_id = self.download_from_page(name)
        self.check_held(name, url, download_id)
        self.devtools.call("Target.closeTarget", {"targetId": page})
        wait_for("its confirmation dialog", lambda: self.display.xdotool(
            "search", "--onlyvisible", "--name", "^Add download"), 30)
        self.stop_rushlet(rushlet.pid)
        rushlet.wait(5)
        # Quitting closed the dialog; the download waits for the next start.
        check(self.entry_for(url).get("status") == AWAITING, "quitting changed %s" % self.entry_for(url))
        log("1. taken over by the running Rushlet (browser download %d)" % download_id)

    def rushlet_started_by_host(self):
        check(self.lock_holder() is None, "Rushlet is still running")
        name = "held-second.bin"
        page, url, download_id = self.download_from_page(name)
        pid = wait_for("the host to start Rushlet", self.lock_holder, 30)
        self.rushlet_pids.append(pid)
        arguments = self.command_line(pid)
        check(arguments[1:] == ["--browser-launch"] and os.path.basename(arguments[0]) == "Rushlet",
              "Rushlet was started as %s" % arguments)
        self.check_held(name, url, download_id)
        self.devtools.call("Target.closeTarget", {"targetId": page})
        self.stop_rushlet(pid)
        log("2. Rushlet %d started with --browser-launch took over browser download %d" % (pid, download_id))

    def host_refuses(self):
        manifest = dict(self.manifest, allowed_origins=["chrome-extension://%s/" % ("a" * 32)])
        with open(os.path.join(self.data_folder, HOST_NAME + ".json"), "w") as f:
            json.dump(manifest, f, indent=4)

        refusal = self.ping_through_browser()
        # When the refusing host has exited before the browser wrote the message, the browser
        # reports the broken pipe instead of the host's answer.
        check(refusal in ({"ok": False, "error": "Extension origin is not registered."},
                          {"error": "Error when communicating with the native messaging host."}),
              "the host answered a foreign extension with %s" % refusal)

        name = "kept.bin"
        page, url, download_id = self.download_from_page(name)
        self.check_kept_by_browser(name, download_id)
        check(self.entry_for(url) is None, "Rushlet's list has an entry for " + name)
        check(self.lock_holder() is None, "the refusing host started Rushlet")
        self.devtools.call("Target.closeTarget", {"targetId": page})
        log("3. the refused download completed in the browser")

    def sending_switched_off(self):
        self.register()
        popup = self.devtools.call("Target.createTarget",
                                   {"url": "chrome-extension://%s/popup.html" % self.extension_id})["targetId"]
        session = self.devtools.call("Target.attachToTarget", {"targetId": popup, "flatten": True})["sessionId"]
        line = "(document.getElementById('connection') || {}).textContent || ''"
        answer = wait_for("the popup to learn whether Rushlet answers", lambda: (lambda text: (
            text if text and not text.startswith("Checking") else None))(self.devtools.evaluate(session, line)), 30)
        check(answer == "Rushlet answered.", "the popup says: " + answer)
        pid = wait_for("the popup's ping to start Rushlet", self.lock_holder, 10)
        self.rushlet_pids.append(pid)

        self.devtools.evaluate(session, "document.getElementById('sendDownloads').click(); true")
        wait_for("the switch to be stored", lambda: self.devtools.evaluate(
            self.worker, "chrome.storage.local.get('sendDownloads')") == {"sendDownloads": False}, 10)
        self.devtools.call("Target.closeTarget", {"targetId": popup})

        name = "kept-off.bin"
        page, url, download_id = self.download_from_page(name)
        self.check_kept_by_browser(name, download_id)
        check(self.entry_for(url) is None, "Rushlet's list has an entry for " + name)
        self.devtools.call("Target.closeTarget", {"targetId": page})
        self.stop_rushlet(pid)
        log("4. with sending off, the browser kept the download while Rushlet ran")

    def browser_restarted(self):
        held = {record["name"]: record["browserId"] for record in self.held_records().values()}
        check(sorted(held) == ["held-first.bin", "held-second.bin"], "the extension holds %s" % held)
        self.stop_browser()
        self.start_browser()
        # Asked about at the start, without starting Rushlet for that; the popup tells what Rushlet said.
        wait_for("the extension to ask about its held downloads", lambda: [r.get("state") for r in self.held_records(
        ).values()] == ["unreachable"] * 2, 30)
        check(self.lock_holder() is None, "asking about the held downloads started Rushlet")
        popup = self.devtools.call("Target.createTarget",
                                   {"url": "chrome-extension://%s/popup.html" % self.extension_id})["targetId"]
        session = self.devtools.call("Target.attachToTarget", {"targetId": popup, "flatten": True})["sessionId"]
        expected = ["%s\nRushlet did not answer: Rushlet is not running." % name for name in sorted(held)]
        wait_for("the popup to list them as %s" % expected, lambda: sorted(self.devtools.evaluate(
            session, "Array.from(document.querySelectorAll('#heldList li'), (row) => row.innerText)")) == expected, 10)
        self.devtools.call("Target.closeTarget", {"targetId": popup})
        # Its own ping started Rushlet, hidden; the user starts Rushlet, cancels one and confirms one.
        self.stop_rushlet(wait_for("the popup's ping to start Rushlet", self.lock_holder, 10))
        rushlet = self.start_rushlet()
        self.answer_dialog("Escape")
        self.check_erased("held-first.bin", held["held-first.bin"])
        self.answer_dialog("Return")
        self.check_fetched("held-second.bin", "http://127.0.0.1:%d/files/held-second.bin" % self.port,
                           file_body(HELD_FILE_SIZE))
        self.check_erased("held-second.bin", held["held-second.bin"])
        self.fetched_with_session("session", "after-restart.bin")
        self.stop_rushlet(rushlet.pid)
        log("5. after a restart the held downloads were settled, and a new one taken with an id of its own")

    # -------------------------------------------------------------- cleanup

    def stop_browser(self):
        if not self.chromium:
            return
        try:
            self.devtools.call("Browser.close", timeout=5)
        except Failure:
            pass
        try:
            self.chromium.wait(10)
        except subprocess.TimeoutExpired:
            log("the browser did not close; killing its process group", self.chromium.pid)
            os.killpg(self.chromium.pid, signal.SIGKILL)
            self.chromium.wait(10)
        # Its helpers share the process group the browser was started in.
        deadline = time.monotonic() + 10
        while True:
            try:
                os.killpg(self.chromium.pid, 0)
            except ProcessLookupError:
                break
            if time.monotonic() > deadline:
                os.killpg(self.chromium.pid, signal.SIGKILL)
                break
            time.sleep(0.05)
        self.browser_log.close()

    def leftover_processes(self):
        """Processes of this run that are still alive: anything with our HOME in its environment."""
        marker = ("HOME=%s" % self.home).encode()
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if marker in f.read().split(b"\0"):
                        found.append(int(entry))
            except OSError:
                pass
        return found

    def cleanup(self):
        for pid in list(self.rushlet_pids):
            try:
                self.stop_rushlet(pid)
            except (Failure, OSError):
                pass
        self.stop_browser()
        if self.server:
            self.server.shutdown()
        self.nginx.stop()
        self.display.stop()
        leftovers = self.leftover_processes()
        for pid in leftovers:
            try:
                log("left running:", pid, " ".join(self.command_line(pid)))
            except OSError:
                pass
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        return leftovers


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--browser", default=shutil.which("chromium") or "/usr/bin/chromium")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder for a look")
    args = parser.parse_args()
    if not os.access(args.browser, os.X_OK):
        print("no browser at", args.browser)
        return SKIPPED
    missing = [program for program in (NGINX, "Xvfb", "xdotool") if not shutil.which(program)]
    if missing:
        print("not installed:", " ".join(missing))
        return SKIPPED

    run = Run(args.bin_dir, args.browser)
    failed = False
    try:
        run.register()
        run.serve()
        run.start_browser()
        run.rushlet_running()
        run.rushlet_started_by_host()
        run.browser_restarted()
        run.host_refuses()
        run.sending_switched_off()
    except Failure as failure:
        failed = True
        log("FAIL:", failure)
        with open(os.path.join(run.root, "chromium.log"), errors="replace") as f:
            # Without a desktop session the browser complains about D-Bus on every start.
            lines = [line for line in f if "dbus/" not in line]
        print("--- browser output\n" + "".join(lines[-40:]))
    finally:
        leftovers = run.cleanup()
        if leftovers:
            failed = True
            log("FAIL: processes left running and killed:", leftovers)
        if args.keep:
            log("kept", run.root)
        else:
            shutil.rmtree(run.root, ignore_errors=True)
    log("failed" if failed else "passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
