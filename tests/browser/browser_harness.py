"""What the browser end-to-end tests share: a temporary HOME, the sites they download from (a
Python server and nginx), a private X display where Rushlet's confirmation dialog is answered with
the keyboard, Rushlet itself, and the checks of where a download's bytes ended up.

A browser's test subclasses BrowserRun with the way it starts, stops and drives its browser; the
scenarios here run the same in every browser.
"""

import argparse
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
# Files Rushlet fetches from nginx, served slowly enough that the browser is midway when Rushlet starts.
SITE_FILE_SIZE = 6 * 1024 * 1024 + 7
NGINX_RATE = "1m"
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
        # Sites that want a session cookie, a Referer, a redirect's cookie, a sign-in, a browser. The
        # sign-in ends when the test removes login/signed-in, so that no timing decides the scenario.
        location = /session/page.html {{ add_header Set-Cookie "session=open-sesame; Path=/session/; HttpOnly"; }}
        location /session/files/ {{ if ($cookie_session != "open-sesame") {{ return 403; }} }}
        location /referer/files/ {{ if ($http_referer !~ "^http://127\.0\.0\.1:{port}/referer/") {{ return 403; }} }}
        location = /redirect/go {{ add_header Set-Cookie "gate=open; Path=/redirect/"; return 302 /redirect/files/gated.bin; }}
        location /redirect/files/ {{ if ($cookie_gate != "open") {{ return 302 /login.html; }} }}
        location = /login/page.html {{ add_header Set-Cookie "ticket=valid; Path=/login/"; }}
        location /login/files/ {{
            if ($cookie_ticket != "valid") {{ return 302 /login.html; }}
            if (!-f $document_root/login/signed-in) {{ return 302 /login.html; }}
        }}
        location /refusing/files/ {{ if ($http_sec_fetch_mode = "") {{ return 403; }} }}
        location = /login.html {{ default_type text/html; return 200 "<title>Sign in</title>"; }}
    }}
}}
""".format(f=self.folder, port=self.port, rate=NGINX_RATE)
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


# Watches the browser's downloads from inside the extension, without changing what the extension
# does with them; `api` is the browser's extension namespace there, for every expression the checks
# evaluate.
OBSERVER = """(() => {
  globalThis.api = globalThis.browser || chrome;
  globalThis.observedDownloads = [];
  api.downloads.onCreated.addListener((item) =>
    observedDownloads.push({ event: "created", id: item.id, url: item.url }));
  api.downloads.onChanged.addListener((delta) =>
    observedDownloads.push({ event: "changed", id: delta.id, state: delta.state && delta.state.current,
                             error: delta.error && delta.error.current }));
  api.downloads.onErased.addListener((id) => observedDownloads.push({ event: "erased", id }));
  return true;
})()"""


class BrowserRun:
    """One run of a browser's scenarios. A subclass provides start_browser(), stop_browser(),
    evaluate(expression) in a page of the extension that ran OBSERVER, open_page(url) giving a
    handle, and close_page(handle)."""

    # Chromium tells of a download by the link clicked; Firefox by where the redirects led.
    names_final_url = False
    # Chromium's extension holds a download for Rushlet paused; Firefox's lets it run on.
    pauses_held_downloads = True

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
        self.browser_downloads = os.path.join(self.root, "browser-downloads")
        os.makedirs(self.browser_downloads)
        self.browser_log_path = os.path.join(self.root, "browser.log")
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
        self.rushlet_pids = []
        self.seen_ids = set()

    # -------------------------------------------------------------- pieces

    def register(self):
        """Registers the host as a user does, for the browsers whose folders exist in this HOME, and
        gives the host manifest of the data folder, which the host checks its callers against."""
        result = subprocess.run([os.path.join(self.bin_dir, "rushlet-register-browsers")], env=self.environment,
                                capture_output=True, text=True, timeout=30)
        check(result.returncode == 0, "registration failed: " + result.stderr.strip())
        with open(os.path.join(self.data_folder, HOST_NAME + ".json")) as f:
            self.manifest = json.load(f)
        return result.stdout

    def serve(self):
        self.server = make_server(self.transfers)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.nginx.start()

    def ping_through_browser(self):
        return self.evaluate(
            "api.runtime.sendNativeMessage(%s, {type: 'ping'}).catch((e) => ({error: e.message}))"
            % json.dumps(HOST_NAME), timeout=30)

    def download_from_page(self, name, page_url=None, url=None):
        page_url = page_url or "http://127.0.0.1:%d/page/%s" % (self.port, name)
        url = url or "http://127.0.0.1:%d/files/%s" % (self.port, name)
        page = self.open_page(page_url)
        created = wait_for("the browser to start downloading " + name, lambda: next(
            (e for e in self.observed() if e["event"] == "created" and e["url"] == url), None), 20)
        return page, url, created["id"]

    def observed(self):
        return self.evaluate("observedDownloads")

    def browser_items(self, download_id):
        return self.evaluate("api.downloads.search({id: %d})" % download_id)

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
        return self.evaluate("api.storage.local.get('heldDownloads').then((s) => s.heldDownloads)")

    def rushlet_file(self, name):
        return os.path.join(self.home, "Downloads", name)

    def check_held(self, name, url, download_id):
        entry = wait_for("the entry for " + name + " in queue.json", lambda: self.entry_for(url), 30)
        # Browsers and profiles all number their downloads from 1; the extension's own random
        # identifier keeps the ids of two of them apart, and a random part those of one over time.
        installation = self.evaluate(
            "api.storage.local.get('installationId').then((stored) => stored.installationId)")
        check(re.fullmatch("[0-9a-f]{16}", installation or ""), "installation id %r" % installation)
        check(re.fullmatch("chrome-%s-[0-9a-f]{16}" % installation, entry["id"]) and entry["id"] not in self.seen_ids,
              "entry id %s for browser download %d" % (entry.get("id"), download_id))
        self.seen_ids.add(entry["id"])
        check(entry.get("status") == AWAITING, "entry status is %s" % entry.get("status"))
        destination = entry.get("destination", "")
        check(os.path.dirname(destination) == os.path.join(self.home, "Downloads"),
              "destination %s is not in the download folder" % destination)
        check(os.path.basename(destination) == name, "destination name %s" % os.path.basename(destination))
        # Until Rushlet has bytes of the file, the browser holds its own copy.
        wait_for("the extension to hold download %d" % download_id, lambda: (self.held_records() or {}).get(
            str(download_id), {}).get("acknowledged"), 20)
        item = self.browser_items(download_id)[0]
        if self.pauses_held_downloads:
            check(item["paused"] and item["state"] == "in_progress", "the browser's copy is not held: %s" % item)
        else:
            check(not item["paused"] and item["state"] in ("in_progress", "complete"),
                  "the browser's copy does not run on: %s" % item)

    def check_erased(self, name, download_id):
        wait_for("the browser to erase download %d" % download_id, lambda: any(
            e["event"] == "erased" and e["id"] == download_id for e in self.observed()), 20)
        # A copy that runs on may be finished first, and is then removed once Rushlet has the file.
        changes = [e for e in self.observed() if e["event"] == "changed" and e["id"] == download_id]
        check(not self.pauses_held_downloads or not any(e.get("state") == "complete" for e in changes),
              "the browser completed its copy")
        check(self.browser_items(download_id) == [], "the download is still in the browser's list")
        # The browser deletes its partial file after the cancel on its own time.
        wait_for("the browser to delete its copy of " + name, lambda: not self.browser_files(name), 10)

    def browser_files(self, name):
        """What the browser keeps in its folder for `name`: the file, Chromium's NAME.crdownload, or
        Firefox's empty NAME beside its STEM.RANDOM.EXT.part."""
        stem = os.path.splitext(name)[0]
        return [f for f in os.listdir(self.browser_downloads)
                if f == name or f.startswith(name + ".") or (f.startswith(stem + ".") and f.endswith(".part"))]

    def check_resumed(self, name, download_id, body, url, error):
        """Rushlet refused what it got (an Error, never "Completed"); the browser went on with its
        copy and finished it, and the extension let go of it."""
        wait_for("Rushlet to end " + name, lambda: self.entry_for(url)["status"] in ("Error", "Completed"), 30)
        check(self.entry_for(url)["error"] == error, "Rushlet ended %s as %s" % (name, self.entry_for(url)))
        self.check_kept_by_browser(name, download_id, body)
        check(not os.path.exists(self.rushlet_file(name)), "Rushlet saved something as " + name)
        wait_for("the extension to let go of " + name, lambda: str(download_id) not in (self.held_records() or {}), 20)

    def check_kept_by_browser(self, name, download_id, body=None):
        def ended():
            items = self.browser_items(download_id)
            # Firefox tells of a paused download as interrupted, too.
            return items if not items or items[0]["state"] == "complete" or (
                items[0]["state"] == "interrupted" and not items[0]["paused"]) else None
        items = wait_for("the browser to finish downloading " + name, ended, 30, 0.1)
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
        # The download and Rushlet's entry go by the link clicked, or by where a redirect led.
        url = self.nginx.url(folder + "/" + ("files/" + name if self.names_final_url else link))
        page, url, download_id = self.download_from_page(name, self.nginx.url(folder + "/page.html"), url)
        self.check_held(name, url, download_id)
        return page, url, download_id, body

    def fetched_with_session(self, folder, name, link=None):
        page, url, download_id, body = self.site_download(folder, name, link)
        self.answer_dialog("Return")
        fetched = self.check_fetched(name, url, body)
        self.check_erased(name, download_id)
        self.close_page(page)
        return fetched

    def start_rushlet(self):
        rushlet = subprocess.Popen([os.path.join(self.bin_dir, "Rushlet")],
                                   env=self.display.environment_for_programs(self.environment),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.rushlet_pids.append(rushlet.pid)
        wait_for("Rushlet to answer on its bridge", self.rushlet_answers, 30)
        return rushlet

    # -------------------------------------------------------------- scenarios

    def site_scenarios(self):
        """Files from nginx that need the browser's session, taken over while Rushlet runs: fetched
        by Rushlet after the user confirms; a login page or a site refusing Rushlet, after which the
        browser finishes; a confirmation cancelled by the user, which cancels the browser's copy."""
        fetched = self.fetched_with_session("session", "members.bin")
        log("1a. confirmed in the dialog and fetched from nginx (SHA-256 %s...)" % fetched[:16])
        self.fetched_with_session("referer", "linked.bin")
        self.fetched_with_session("redirect", "gated.bin", "go")
        log("1b. fetched with the site's session cookie, a Referer, and a cookie set by a redirect")

        signed_in = os.path.join(self.nginx.root, "login", "signed-in")
        os.makedirs(os.path.dirname(signed_in), exist_ok=True)
        open(signed_in, "w").close()
        page, url, download_id, body = self.site_download("login", "ticket.bin")
        # The user takes a while to confirm; meanwhile the sign-in ends on the site.
        os.remove(signed_in)
        self.answer_dialog("Return")
        self.check_resumed("ticket.bin", download_id, body, url, WEB_PAGE)
        page, url, download_id, body = self.site_download("refusing", "browsers-only.bin")
        self.answer_dialog("Return")
        self.check_resumed("browsers-only.bin", download_id, body, url, SITE_REFUSED)
        log("1c. a login page after the sign-in ended, and a site refusing Rushlet: the browser went on")

        page, url, download_id, body = self.site_download("plain", "unwanted.bin")
        self.answer_dialog("Escape")
        self.check_erased("unwanted.bin", download_id)
        check(self.entry_for(url) is None and not os.path.exists(self.rushlet_file("unwanted.bin")),
              "Rushlet kept the cancelled download")
        log("1d. a confirmation cancelled by the user cancelled the browser's copy")

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
        self.close_page(page)
        self.stop_rushlet(pid)
        log("2. Rushlet %d started with --browser-launch took over browser download %d" % (pid, download_id))

    # -------------------------------------------------------------- cleanup

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


def end_browser(process, quit_seconds):
    """Waits for a browser that was asked to quit, killing its process group when it does not. Its
    helpers share that group; those still there after 10 s more are killed too."""
    try:
        process.wait(quit_seconds)
    except subprocess.TimeoutExpired:
        log("the browser did not quit; killing its process group", process.pid)
        os.killpg(process.pid, signal.SIGKILL)
        process.wait(10)
    deadline = time.monotonic() + 10
    while True:
        try:
            os.killpg(process.pid, 0)
        except ProcessLookupError:
            return
        if time.monotonic() > deadline:
            os.killpg(process.pid, signal.SIGKILL)
            return
        time.sleep(0.05)


def main(run_class, browser_name, scenarios, status_when_missing):
    """Runs the named scenarios of a run_class for the browser program browser_name, or gives
    status_when_missing when it or a tool they need is not installed."""
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--browser", default=shutil.which(browser_name) or "/usr/bin/" + browser_name)
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder for a look")
    args = parser.parse_args()
    missing = [program for program in (NGINX, "Xvfb", "xdotool") if not shutil.which(program)]
    if not os.access(args.browser, os.X_OK):
        missing.insert(0, args.browser)
    if missing:
        print("not installed (scripts/install-deps.sh installs them):", " ".join(missing))
        return status_when_missing
    run = run_class(args.bin_dir, args.browser)
    return run_scenarios(run, [getattr(run, name) for name in scenarios], args.keep)


def run_scenarios(run, scenarios, keep):
    """Runs `scenarios` (functions of `run`) in order and cleans up; the exit status."""
    failed = False
    try:
        for scenario in scenarios:
            scenario()
    except Failure as failure:
        failed = True
        log("FAIL:", failure)
        try:
            with open(run.browser_log_path, errors="replace") as f:
                # Without a desktop session browsers complain about D-Bus on every start.
                lines = [line for line in f if "dbus" not in line.lower()]
            print("--- browser output\n" + "".join(lines[-40:]))
        except OSError:
            pass
    finally:
        leftovers = run.cleanup()
        if leftovers:
            failed = True
            log("FAIL: processes left running and killed:", leftovers)
        if keep:
            log("kept", run.root)
        else:
            shutil.rmtree(run.root, ignore_errors=True)
    log("failed" if failed else "passed")
    return 1 if failed else 0
